#!/bin/bash
# Tests the fleet playbook's summary on result files as the playbook and carried-back history
# files leave them. Usage: tst_fleetsummary.sh FLEET_DIR
#
# Faults this catches:
# - a playbook or summary that does not parse;
# - a machine's upgrade outcome missing from summary.tsv or taken from another machine's events,
#   an inventory machine without results not listed as not run;
# - a failed run or an upgrade finished at boot missing from history.tsv, a plain success listed
#   there, or a history carried back from a machine outside the inventory left out;
# - a reason's detail that breaks the table (a tab or a line end).
set -uo pipefail

fleet=$(cd "$1" && pwd) || exit 2
if ! command -v ansible-playbook >/dev/null; then
    echo "SKIP: ansible-playbook is not installed"
    exit 77
fi
W=$(mktemp -d "${TMPDIR:-/tmp}/tst_fleetsummary.XXXXXX")
trap 'rm -rf -- "$W"' EXIT
export ANSIBLE_HOME=$W/ansible ANSIBLE_LOCAL_TEMP=$W/ansible/tmp ANSIBLE_NOCOLOR=1 \
    ANSIBLE_LOCALHOST_WARNING=false ANSIBLE_INVENTORY_UNPARSED_WARNING=false
passed=0 failed=0

check() { # NAME EXPECTED ACTUAL
    if [[ $2 == "$3" ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAIL: %s\n--- expected\n%s\n--- actual\n%s\n' "$1" "$2" "$3"
    fi
}

cat >"$W/inventory.ini" <<'INI'
[workstations]
ws-001
ws-002
ws-003
INI
mkdir "$W/results"
cat >"$W/results/ws-001.jsonl" <<'JSONL'
{"event":"check","item":6,"passed":true}
{"event":"result","command":"upgrade","outcome":"success","exitStatus":0,"message":"The upgrade succeeded."}
JSONL
cat >"$W/results/ws-002.jsonl" <<'JSONL'
{"event":"result","command":"upgrade","outcome":"failed","exitStatus":1,"message":"The setup script failed."}

JSONL
cat >"$W/results/ws-001.history.json" <<'JSON'
[{"kind":"check","time":"2026-03-01T21:50:00Z","uid":0,"user":"root","package":"u.oup","outcome":"failed","reasonKey":"wrong-architecture","reasonDetail":"arm64/amd64","resumed":false,"item":4},
 {"kind":"upgrade","id":"a","time":"2026-03-01T22:05:00Z","uid":0,"user":"root","package":"u.oup","outcome":"succeeded","reasonKey":"","reasonDetail":"","resumed":false},
 {"kind":"upgrade","id":"b","time":"2026-03-02T06:10:00Z","uid":1000,"user":"alice","package":"v.oup","outcome":"succeeded","reasonKey":"","reasonDetail":"","resumed":true}]
JSON
# Carried back from a machine the control node cannot reach.
printf '%s\n' '[{"kind":"upgrade","id":"c","time":"2026-03-03T07:00:00Z","uid":0,"user":"root","package":"v.oup","outcome":"failed","reasonKey":"resume-given-up","reasonDetail":"2 attempts\tat boot\nfailed","resumed":true}]' \
    >"$W/results/lab-17.history.json"

for playbook in offline-upgrade.yml summary.yml; do
    if ansible-playbook --syntax-check -i "$W/inventory.ini" "$fleet/$playbook" >"$W/syntax.log" 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $playbook does not parse"
        cat "$W/syntax.log"
    fi
done

if ! ansible-playbook -i "$W/inventory.ini" "$fleet/summary.yml" -e results_dir="$W/results" \
    >"$W/run.log" 2>&1; then
    failed=$((failed + 1))
    echo "FAIL: the summary did not run"
    cat "$W/run.log"
fi

tab=$'\t'
check "summary.tsv" "host${tab}outcome${tab}exit status${tab}message
ws-001${tab}success${tab}0${tab}The upgrade succeeded. 
ws-002${tab}failed${tab}1${tab}The setup script failed. 
ws-003${tab}not run${tab}${tab} " "$(cat "$W/results/summary.tsv" 2>/dev/null)"
check "history.tsv" "host${tab}time${tab}user${tab}kind${tab}package${tab}outcome${tab}finished at boot${tab}reason${tab}detail
lab-17${tab}2026-03-03T07:00:00Z${tab}root${tab}upgrade${tab}v.oup${tab}failed${tab}yes${tab}resume-given-up${tab}2 attempts at boot failed
ws-001${tab}2026-03-01T21:50:00Z${tab}root${tab}check${tab}u.oup${tab}failed${tab}no${tab}wrong-architecture${tab}arm64/amd64
ws-001${tab}2026-03-02T06:10:00Z${tab}alice${tab}upgrade${tab}v.oup${tab}succeeded${tab}yes${tab}${tab}" \
    "$(cat "$W/results/history.tsv" 2>/dev/null)"

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
