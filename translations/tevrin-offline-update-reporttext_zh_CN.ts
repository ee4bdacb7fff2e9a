<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CheckFailureText</name>
    <message>
        <source>The package file does not exist. Choose the package again.</source>
        <translation>升级包文件不存在，请重新选择升级包。</translation>
    </message>
    <message>
        <source>The chosen item is not a file. Choose an offline update package (.oup).</source>
        <translation>所选项目不是文件，请选择离线升级包（.oup）。</translation>
    </message>
    <message>
        <source>You are not allowed to read the package file. Copy it to your home folder and choose the copy.</source>
        <translation>您无权读取该升级包文件，请将其复制到您的主目录后选择副本。</translation>
    </message>
    <message>
        <source>There is not enough free disk space to unpack the package. Free some space and try again.</source>
        <translation>磁盘空间不足，无法解开升级包，请清理磁盘空间后重试。</translation>
    </message>
    <message>
        <source>Needed/free: %1</source>
        <translation>所需/可用：%1</translation>
    </message>
    <message>
        <source>The file is not an offline update package, or it is damaged. Choose another package.</source>
        <translation>该文件不是离线升级包或已损坏，请选择其他升级包。</translation>
    </message>
    <message>
        <source>The package&apos;s signature is not valid: it may have been altered. Do not install it; get the package again from its source.</source>
        <translation>升级包的签名无效，可能已被篡改。请勿安装，请从来源处重新获取升级包。</translation>
    </message>
    <message>
        <source>This system accepts only signed packages, and this package is not signed. Ask your administrator for a signed package.</source>
        <translation>本系统只接受已签名的升级包，而该升级包未签名。请向管理员索取已签名的升级包。</translation>
    </message>
    <message>
        <source>Another check or upgrade of yours is still using the package. Try again when it has finished.</source>
        <translation>您的另一个检测或升级仍在使用该升级包，请在其结束后重试。</translation>
    </message>
    <message>
        <source>The package found this system unfit for the upgrade. Ask your administrator.</source>
        <translation>升级包检测到本系统不适合此次升级，请联系管理员。</translation>
    </message>
    <message>
        <source>Script and its last message: %1</source>
        <translation>脚本及其最后一条信息：%1</translation>
    </message>
    <message>
        <source>The package is made for another kind of processor. Choose a package made for this computer.</source>
        <translation>该升级包适用于其他类型的处理器，请选择适用于本机的升级包。</translation>
    </message>
    <message>
        <source>Package/this machine: %1</source>
        <translation>软件包/本机：%1</translation>
    </message>
    <message>
        <source>There is not enough free disk space for the system backup. Free some space and try again.</source>
        <translation>磁盘空间不足，无法备份系统，请清理磁盘空间后重试。</translation>
    </message>
    <message>
        <source>The software inside the package cannot be read; the package may be damaged. Get the package again.</source>
        <translation>无法读取升级包中的软件，升级包可能已损坏，请重新获取升级包。</translation>
    </message>
    <message>
        <source>The package manager said: %1</source>
        <translation>软件包管理器提示：%1</translation>
    </message>
    <message>
        <source>This system already has all the software the package holds. There is nothing to upgrade.</source>
        <translation>本系统已包含该升级包中的全部软件，无需升级。</translation>
    </message>
    <message>
        <source>Checking update packages needs an administrator&apos;s authorization, which was not given.</source>
        <translation>检测升级包需要管理员授权，但未获得授权。</translation>
    </message>
    <message>
        <source>The package file was written to while it was checked. Check it again once it is complete.</source>
        <translation>检测期间升级包文件被写入。请在文件完整后重新检测。</translation>
    </message>
    <message>
        <source>This system accepts signed packages only from a local disk. Copy the package to your home folder and check it there.</source>
        <translation>本系统只接受本地磁盘上的已签名升级包。请将升级包复制到您的主目录后重新检测。</translation>
    </message>
    <message>
        <source>Another package manager is running. Try again when it has finished.</source>
        <translation>另一个软件包管理程序正在运行，请等它结束后再试。</translation>
    </message>
    <message>
        <source>Held by: %1</source>
        <translation>占用者：%1</translation>
    </message>
    <message>
        <source>The storage the package file is on does not answer. Copy the package to a local disk and choose the copy.</source>
        <translation>升级包文件所在的存储设备没有响应。请将升级包复制到本地磁盘，然后选择该副本。</translation>
    </message>
    <message>
        <source>The package&apos;s software cannot be installed on this system as it is: the package manager finds no way to upgrade to it. Ask your administrator.</source>
        <translation>升级包中的软件无法安装到本系统的现有状态上：软件包管理器找不到升级方案。请联系管理员。</translation>
    </message>
    <message>
        <source>The upgrade would remove software this system cannot run without. Do not install this package; ask your administrator.</source>
        <translation>此次升级会移除本系统运行所必需的软件。请勿安装该升级包，请联系管理员。</translation>
    </message>
    <message>
        <source>It would remove: %1</source>
        <translation>将被移除：%1</translation>
    </message>
    <message>
        <source>The upgrade would leave some of the package&apos;s software at the installed version, so the system would be only partly upgraded. Ask your administrator.</source>
        <translation>此次升级会使升级包中的部分软件停留在已安装的版本，系统将只被部分升级。请联系管理员。</translation>
    </message>
    <message>
        <source>Left at the installed version: %1</source>
        <translation>停留在已安装版本：%1</translation>
    </message>
    <message>
        <source>There is not enough free disk space for the upgrade. Free some space and try again.</source>
        <translation>磁盘空间不足，无法升级，请清理磁盘空间后重试。</translation>
    </message>
    <message>
        <source>Where, needed/free: %1</source>
        <translation>位置，所需/可用：%1</translation>
    </message>
    <message>
        <source>The package check failed. Choose another package.</source>
        <translation>升级包检测失败，请选择其他升级包。</translation>
    </message>
    <message>
        <source>Insufficient disk space, please clean up disk space and try again!</source>
        <translation>磁盘空间不足，请清理磁盘空间后重试！</translation>
    </message>
    <message>
        <source>File corrupted, please check and try again!</source>
        <translation>文件已损坏，请检查后重试！</translation>
    </message>
    <message>
        <source>System environment is abnormal, contact the administrator!</source>
        <translation>系统环境异常，请联系管理员！</translation>
    </message>
</context>
<context>
    <name>CheckTable</name>
    <message>
        <source>Pass</source>
        <translation>通过</translation>
    </message>
    <message>
        <source>Fail</source>
        <translation>未通过</translation>
    </message>
    <message>
        <source>Not Detected</source>
        <translation>未检测</translation>
    </message>
    <message>
        <source>Package Signature</source>
        <translation>软件包签名</translation>
    </message>
    <message>
        <source>Verified: %1</source>
        <translation>已验证：%1</translation>
    </message>
    <message>
        <source>Unsigned</source>
        <translation>未签名</translation>
    </message>
    <message>
        <source>Verification failed</source>
        <translation>验证失败</translation>
    </message>
    <message>
        <source>Verification failed: %1</source>
        <translation>验证失败：%1</translation>
    </message>
    <message>
        <source>Not checked</source>
        <translation>未检查</translation>
    </message>
    <message>
        <source>Upgrade Type</source>
        <translation>升级类型</translation>
    </message>
    <message>
        <source>CVE Patch Update</source>
        <translation>CVE补丁更新</translation>
    </message>
    <message>
        <source>Vulnerability ID</source>
        <translation>漏洞编号</translation>
    </message>
    <message>
        <source>System Update</source>
        <translation>系统更新</translation>
    </message>
    <message>
        <source>System Version Detection</source>
        <translation>系统版本检测</translation>
    </message>
    <message>
        <source>Offline Package Architecture Detection</source>
        <translation>离线升级包架构检测</translation>
    </message>
    <message>
        <source>Disk Space Detection</source>
        <translation>磁盘空间检测</translation>
    </message>
    <message>
        <source>Offline Package Update Number Detection</source>
        <translation>离线升级包更新数量检测</translation>
    </message>
    <message>
        <source>%1 item(s)</source>
        <translation>%1项</translation>
    </message>
    <message>
        <source>No available update package</source>
        <translation>无可用的升级包</translation>
    </message>
</context>
<context>
    <name>DaemonStatusText</name>
    <message>
        <source>Starting the system backup...</source>
        <translation>开始进行系统备份...</translation>
    </message>
    <message>
        <source>The system backup is complete</source>
        <translation>系统备份完成</translation>
    </message>
    <message>
        <source>Starting the system upgrade...</source>
        <translation>开始进行系统升级...</translation>
    </message>
</context>
<context>
    <name>HistoryText</name>
    <message>
        <source>The package passed the check.</source>
        <translation>软件包通过了检测。</translation>
    </message>
    <message>
        <source>The package failed the check.</source>
        <translation>软件包未通过检测。</translation>
    </message>
    <message>
        <source>The upgrade was interrupted, and it was finished when the system started again.</source>
        <translation>升级曾被中断，已在系统再次启动时完成。</translation>
    </message>
    <message>
        <source>The upgrade succeeded.</source>
        <translation>升级成功。</translation>
    </message>
    <message>
        <source>The upgrade was interrupted, and it could not be finished when the system started again.</source>
        <translation>升级曾被中断，系统再次启动时未能完成。</translation>
    </message>
    <message>
        <source>The upgrade failed.</source>
        <translation>升级失败。</translation>
    </message>
</context>
<context>
    <name>UpgradeFailureText</name>
    <message>
        <source>The system has changed since the package was checked, so the upgrade would no longer do what the check foresaw. Nothing was installed. Check the package again.</source>
        <translation>检测升级包之后系统发生了变化，升级将不再按检测时预计的方式进行。未安装任何内容。请重新检测升级包。</translation>
    </message>
    <message>
        <source>Installations that an earlier run of the package manager left unfinished could not be completed, so the upgrade did not start. The offline update package is not at fault: ask your administrator to repair the package system.</source>
        <translation>软件包管理器上次运行时未完成的安装无法完成，因此升级没有开始。这不是离线升级包的问题：请联系管理员修复软件包系统。</translation>
    </message>
    <message>
        <source>Installations that an earlier run of the package manager left unfinished could not be completed: %1. The upgrade did not start. The offline update package is not at fault: ask your administrator to repair these packages.</source>
        <translation>软件包管理器上次运行时未完成的安装无法完成：%1。升级没有开始。这不是离线升级包的问题：请联系管理员修复这些软件包。</translation>
    </message>
    <message>
        <source>The upgrade ran, but some packages did not reach the versions the check foresaw. Have the system checked before you restart it.</source>
        <translation>升级已执行，但部分软件包未达到检测时预计的版本。请在重启前让管理员检查系统。</translation>
    </message>
    <message>
        <source>The upgrade ran, but these packages did not reach the versions the check foresaw: %1. Have the system checked before you restart it.</source>
        <translation>升级已执行，但以下软件包未达到检测时预计的版本：%1。请在重启前让管理员检查系统。</translation>
    </message>
    <message>
        <source>The upgrade failed because of a problem in the package&apos;s software. Restore the system as the recovery guide shows, or ask your administrator.</source>
        <translation>由于升级包中的软件存在问题，升级失败。请按照恢复指南还原系统，或联系管理员。</translation>
    </message>
    <message>
        <source>The package manager said: %1</source>
        <translation>软件包管理器提示：%1</translation>
    </message>
    <message>
        <source>Another package manager was running, so the upgrade did not start and nothing was changed. Try again when it has finished.</source>
        <translation>另一个软件包管理程序正在运行，因此升级没有开始，系统未作任何更改。请等它结束后再试。</translation>
    </message>
    <message>
        <source>Held by: %1</source>
        <translation>占用者：%1</translation>
    </message>
    <message>
        <source>The upgrade failed. Ask your administrator to look at the system before you restart it.</source>
        <translation>升级失败。请在重启前让管理员检查系统。</translation>
    </message>
    <message>
        <source>The package manager was stopped before the upgrade had finished. The system may be partly upgraded: have it checked before you restart it.</source>
        <translation>软件包管理器在升级完成前被终止。系统可能仅部分升级：请在重启前让管理员检查系统。</translation>
    </message>
    <message>
        <source>How it ended: %1</source>
        <translation>结束方式：%1</translation>
    </message>
    <message>
        <source>The setup script of a package failed during the upgrade. The system may be partly upgraded: have it checked before you restart it.</source>
        <translation>升级过程中某个软件包的配置脚本失败。系统可能仅部分升级：请在重启前让管理员检查系统。</translation>
    </message>
    <message>
        <source>The setup script of the package %1 failed during the upgrade. The system may be partly upgraded: have it checked before you restart it.</source>
        <translation>升级过程中软件包 %1 的配置脚本失败。系统可能仅部分升级：请在重启前让管理员检查系统。</translation>
    </message>
    <message>
        <source>The system could not be backed up, so nothing was upgraded.</source>
        <translation>无法备份系统，因此未进行任何升级。</translation>
    </message>
    <message>
        <source>The recovery service said: %1</source>
        <translation>恢复服务的信息：%1</translation>
    </message>
    <message>
        <source>The package&apos;s scripts that run after the upgrade could not run.</source>
        <translation>软件包的升级后脚本未能运行。</translation>
    </message>
    <message>
        <source>Why: %1</source>
        <translation>原因：%1</translation>
    </message>
    <message>
        <source>The system may be partly upgraded: ask your administrator to have it checked.</source>
        <translation>系统可能只升级了一部分：请联系管理员检查系统。</translation>
    </message>
    <message>
        <source>What went wrong: %1</source>
        <translation>出错情况：%1</translation>
    </message>
    <message>
        <source>Finishing the interrupted upgrade failed each time the system started, so it is no longer tried. The system may be partly upgraded: ask your administrator to have it checked.</source>
        <translation>每次系统启动时完成被中断的升级均告失败，因此不再尝试。系统可能只升级了一部分：请联系管理员检查系统。</translation>
    </message>
</context>
<context>
    <name>UpgradePlanText</name>
    <message>
        <source>%1 upgraded</source>
        <translation>升级 %1 个</translation>
    </message>
    <message>
        <source>%1 new</source>
        <translation>新装 %1 个</translation>
    </message>
    <message>
        <source>%1 removed</source>
        <translation>移除 %1 个</translation>
    </message>
    <message>
        <source>No package changes</source>
        <translation>没有软件包变化</translation>
    </message>
    <message>
        <source>, </source>
        <comment>between the parts of the plan&apos;s summary</comment>
        <translation>，</translation>
    </message>
    <message>
        <source>%1 %2</source>
        <comment>a new package: its name and version</comment>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>%1 %2</source>
        <comment>a removed package: its name and version</comment>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>%1 %2 → %3</source>
        <translation>%1 %2 → %3</translation>
    </message>
    <message>
        <source>%1: %2 needed, %3 free</source>
        <translation>%1：需要 %2，可用 %3</translation>
    </message>
    <message>
        <source>%1 GiB</source>
        <translation>%1 GiB</translation>
    </message>
    <message>
        <source>%1 MiB</source>
        <translation>%1 MiB</translation>
    </message>
    <message>
        <source>Upgraded (%1)</source>
        <translation>升级（%1）</translation>
    </message>
    <message>
        <source>New (%1)</source>
        <translation>新装（%1）</translation>
    </message>
    <message>
        <source>Removed (%1)</source>
        <translation>移除（%1）</translation>
    </message>
    <message>
        <source>Left at the installed version (%1)</source>
        <translation>停留在已安装版本（%1）</translation>
    </message>
    <message>
        <source>Unfinished installations, completed first (%1)</source>
        <translation>先完成的未完成安装（%1）</translation>
    </message>
    <message>
        <source>Disk space needed</source>
        <translation>所需磁盘空间</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <comment>a replaced configuration file and its package</comment>
        <translation>%1（%2）</translation>
    </message>
    <message>
        <source>Your changed versions of the replaced configuration files are kept beside them, ending in .dpkg-old.</source>
        <translation>您修改过的配置文件版本保留在原文件旁边，文件名以 .dpkg-old 结尾。</translation>
    </message>
    <message>
        <source>Replaced configuration files (%1)</source>
        <translation>被替换的配置文件（%1）</translation>
    </message>
</context>
<context>
    <name>UpgradeStageText</name>
    <message>
        <source>Backing up the system</source>
        <translation>正在备份系统</translation>
    </message>
    <message>
        <source>Finishing interrupted installations</source>
        <translation>正在完成被中断的安装</translation>
    </message>
    <message>
        <source>Running post-upgrade scripts</source>
        <translation>正在运行升级后脚本</translation>
    </message>
    <message>
        <source>Upgrade finished</source>
        <translation>升级完成</translation>
    </message>
    <message>
        <source>Upgrading the system: package %1 of %2 (%3)</source>
        <translation>正在升级系统：第 %1 个软件包，共 %2 个（%3）</translation>
    </message>
    <message>
        <source>Upgrading the system</source>
        <translation>正在升级系统</translation>
    </message>
    <message>
        <source>The backup could not be started</source>
        <translation>无法开始备份</translation>
    </message>
    <message>
        <source>The backup failed</source>
        <translation>备份失败</translation>
    </message>
    <message>
        <source>The upgrade failed</source>
        <translation>升级失败</translation>
    </message>
    <message>
        <source>Starting</source>
        <translation>正在开始</translation>
    </message>
    <message>
        <source>Preparing the upgrade</source>
        <translation>正在准备升级</translation>
    </message>
    <message>
        <source>Backup done, upgrading the system</source>
        <translation>备份完成，正在升级系统</translation>
    </message>
</context>
</TS>
