<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>BlankPage</name>
    <message>
        <source>Nothing to show here yet</source>
        <translation>暂无内容</translation>
    </message>
</context>
<context>
    <name>ConfirmDialog</name>
    <message>
        <source>During the upgrade process you will not be able to operate your computer. After the upgrade is complete, the computer will automatically restart. Please make sure you have saved your important files before checking the options below to continue the upgrade!</source>
        <translation>升级过程中您将无法操作计算机，升级完成后计算机将自动重启。请确保已保存重要文件，然后勾选下方选项继续升级！</translation>
    </message>
    <message>
        <source>Your system does not support backup and restore. If the system fails to start up after upgrade, it cannot be recovered. Confirm to continue the upgrade?</source>
        <translation>您的系统不支持备份与还原，升级后若系统无法启动，将无法恢复。确定继续升级吗？</translation>
    </message>
    <message>
        <source>I acknowledge and confirm to continue the upgrade</source>
        <translation>我已知晓并确认继续升级</translation>
    </message>
    <message>
        <source>Postpone Upgrade</source>
        <translation>暂缓升级</translation>
    </message>
    <message>
        <source>Continue Upgrade</source>
        <translation>继续升级</translation>
    </message>
    <message>
        <source>Confirm the upgrade</source>
        <translation>确认升级</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>The upgrade changes: %1.</source>
        <translation>此次升级将变更：%1。</translation>
    </message>
    <message>
        <source>Removed packages and replaced configuration files</source>
        <translation>被移除的软件包和被替换的配置文件</translation>
    </message>
</context>
<context>
    <name>DetailsDisclosure</name>
    <message>
        <source>Details</source>
        <translation>详细信息</translation>
    </message>
    <message>
        <source>Technical details</source>
        <translation>技术细节</translation>
    </message>
</context>
<context>
    <name>Karvo::Dialog</name>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>Karvo::FloatingMessage</name>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>Karvo::TitleBar</name>
    <message>
        <source>Menu</source>
        <translation>菜单</translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation>最小化</translation>
    </message>
    <message>
        <source>Maximize</source>
        <translation>最大化</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>LastUpgradeNotice</name>
    <message>
        <source>Dismiss</source>
        <translation>知道了</translation>
    </message>
    <message>
        <source>How your last upgrade ended</source>
        <translation>上次升级的结果</translation>
    </message>
    <message>
        <source>Succeeded</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>Needs attention</source>
        <translation>需要注意</translation>
    </message>
    <message>
        <source>Your last upgrade, from %1</source>
        <translation>上次升级：%1</translation>
    </message>
    <message>
        <source>Your last upgrade, from %1, ended %2</source>
        <translation>上次升级：%1，结束于 %2</translation>
    </message>
</context>
<context>
    <name>LicenseDialog</name>
    <message>
        <source>Note: Do not forcibly shut down or cut power during system restore, otherwise it will damage the system.</source>
        <translation>注意：系统还原过程中请勿强制关机或断电，否则会损坏系统。</translation>
    </message>
    <message>
        <source>1.If the system fails to start up properly, you can try to restart the device and quickly press the arrow keys on the keyboard when entering the GRUB interface shown in the picture below. The system will stay in the GRUB interface.</source>
        <translation>1.若系统无法正常启动，可尝试重启设备，在进入下图所示的GRUB界面时快速按键盘上的方向键，系统将停留在GRUB界面。</translation>
    </message>
    <message>
        <source>The boot menu with the restore entry selected</source>
        <translation>选中还原选项的启动菜单</translation>
    </message>
    <message>
        <source>2.Use the ↑↓ arrow keys on the keyboard to move the selection bar to the option that begins with &quot;回退到Norvane&quot; (roll back to Norvane), and press Enter to initiate the restore process.</source>
        <translation>2.使用键盘上的↑↓方向键将选择条移动到以“回退到Norvane”开头的选项，按回车键开始还原。</translation>
    </message>
    <message>
        <source>Restore steps</source>
        <translation>还原步骤</translation>
    </message>
    <message>
        <source>Scroll the restore steps</source>
        <translation>滚动恢复步骤</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>File format error, please reselect</source>
        <translation>文件格式错误，请重新选择</translation>
    </message>
    <message>
        <source>Offline Update</source>
        <translation>离线更新</translation>
    </message>
    <message>
        <source>ISO Update</source>
        <translation>iso更新</translation>
    </message>
    <message>
        <source>System Update</source>
        <translation>系统更新</translation>
    </message>
    <message>
        <source>Modules</source>
        <translation>模块</translation>
    </message>
</context>
<context>
    <name>OfflineCheckResultWidget</name>
    <message>
        <source>Upgrade without backup</source>
        <translation>不备份继续升级</translation>
    </message>
    <message>
        <source>I have read and understand</source>
        <translation>我已阅读并了解</translation>
    </message>
    <message>
        <source>How to restore the system after abnormal system startup after successful upgrade</source>
        <translation>升级成功后系统无法正常启动时，如何还原系统</translation>
    </message>
    <message>
        <source>Start Upgrade</source>
        <translation>开始升级</translation>
    </message>
    <message>
        <source>Detection Item</source>
        <translation>检测项</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>检测结果</translation>
    </message>
    <message>
        <source>OK</source>
        <comment>Button</comment>
        <translation>确定</translation>
    </message>
    <message>
        <source>Running the package&apos;s post-upgrade scripts...</source>
        <translation>正在运行软件包的升级后脚本...</translation>
    </message>
    <message>
        <source>Check result</source>
        <translation>检测结果</translation>
    </message>
    <message>
        <source>Reading the check result</source>
        <translation>正在读取检测结果</translation>
    </message>
    <message>
        <source>Restart the computer when you are ready to finish the upgrade.</source>
        <translation>准备就绪后请重启计算机以完成升级。</translation>
    </message>
    <message>
        <source>The computer could not be restarted. Restart it from the system menu.</source>
        <translation>无法重启计算机，请从系统菜单重启。</translation>
    </message>
    <message>
        <source>Check failed</source>
        <translation>检测失败</translation>
    </message>
    <message>
        <source>Upgrade succeeded</source>
        <translation>升级成功</translation>
    </message>
    <message>
        <source>The system was upgraded</source>
        <translation>系统已升级</translation>
    </message>
    <message>
        <source>Restart the computer to start using the new software.</source>
        <translation>请重启计算机以开始使用新软件。</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>稍后</translation>
    </message>
    <message>
        <source>Restart now</source>
        <translation>立即重启</translation>
    </message>
    <message>
        <source>Choose another package</source>
        <translation>选择其他升级包</translation>
    </message>
    <message>
        <source>Check items</source>
        <translation>检测项</translation>
    </message>
    <message>
        <source>Package: %1</source>
        <translation>升级包：%1</translation>
    </message>
    <message>
        <source>The upgrade failed</source>
        <translation>升级失败</translation>
    </message>
    <message>
        <source>Check item columns</source>
        <translation>检测项的列</translation>
    </message>
    <message>
        <source>Scroll the check items</source>
        <translation>滚动检测项</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Check again</source>
        <translation>重新检测</translation>
    </message>
</context>
<context>
    <name>OfflineUpdateCheckingWidget</name>
    <message>
        <source>Upgrade package detection in progress, please wait</source>
        <translation>正在检测升级包，请稍候</translation>
    </message>
    <message>
        <source>The offline update service stopped before the check was finished. Go back and import the package again.</source>
        <translation>离线升级服务在检测完成前停止。请返回并重新导入软件包。</translation>
    </message>
    <message>
        <source>Checking the package</source>
        <translation>正在检测升级包</translation>
    </message>
    <message>
        <source>Choose another package</source>
        <translation>选择其他升级包</translation>
    </message>
    <message>
        <source>Package: %1</source>
        <translation>升级包：%1</translation>
    </message>
</context>
<context>
    <name>OfflineUpdateModel</name>
    <message>
        <source>Checking update packages needs an administrator&apos;s authorization, which was not given. Ask your administrator.</source>
        <translation>检测升级包需要管理员授权，但未获授权。请联系管理员。</translation>
    </message>
    <message>
        <source>Upgrading the system needs an administrator&apos;s authorization, which was not given. Ask your administrator.</source>
        <translation>升级系统需要管理员授权，但未获授权。请联系管理员。</translation>
    </message>
    <message>
        <source>The offline update service is busy with another check or upgrade. Try again when it has finished.</source>
        <translation>离线升级服务正忙于另一项检测或升级，请在其完成后重试。</translation>
    </message>
    <message>
        <source>The offline update service is not installed or not running. Ask your administrator to install or start it.</source>
        <translation>离线升级服务未安装或未运行，请联系管理员安装或启动该服务。</translation>
    </message>
    <message>
        <source>The offline update service did not accept the request. Try again; if it fails again, ask your administrator.</source>
        <translation>离线升级服务未接受该请求。请重试；如仍失败，请联系管理员。</translation>
    </message>
</context>
<context>
    <name>OfflineUpdateModule</name>
    <message>
        <source>An upgrade is under way, so you cannot check another package now.</source>
        <translation>正在升级，现在无法检测其他软件包。</translation>
    </message>
    <message>
        <source>A package is being checked, so you cannot check another package now.</source>
        <translation>正在检测软件包，现在无法检测其他软件包。</translation>
    </message>
</context>
<context>
    <name>OfflineUpdateWidget</name>
    <message>
        <source>Import offline file (.oup)</source>
        <translation>导入离线升级包（.oup）</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>导入</translation>
    </message>
</context>
<context>
    <name>OfflineUpgradeDialog</name>
    <message>
        <source>%1%</source>
        <translation>%1%</translation>
    </message>
    <message>
        <source>Please do not forcibly shut down or cut power during the update, otherwise it will damage the system%1</source>
        <translation>升级过程中请勿强制关机或断电，否则会损坏系统%1</translation>
    </message>
    <message>
        <source>The system is being upgraded</source>
        <translation>系统正在升级</translation>
    </message>
    <message>
        <source>Upgrading the system</source>
        <translation>正在升级系统</translation>
    </message>
    <message>
        <source>Tevrin logo</source>
        <translation>Tevrin 标志</translation>
    </message>
    <message>
        <source>Upgrade progress</source>
        <translation>升级进度</translation>
    </message>
    <message>
        <source>Upgrade output</source>
        <translation>升级输出</translation>
    </message>
</context>
<context>
    <name>PackageRequestDialog</name>
    <message>
        <source>Check this package?</source>
        <translation>检测此升级包？</translation>
    </message>
    <message>
        <source>Another program asks to check the offline update package &quot;%1&quot;. Check it only if you expect this package.</source>
        <translation>另一个程序请求检测离线升级包“%1”。请仅在您预期此升级包时进行检测。</translation>
    </message>
    <message>
        <source>Folder: %1</source>
        <translation>文件夹：%1</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>检测</translation>
    </message>
    <message>
        <source>Question</source>
        <translation>询问</translation>
    </message>
</context>
<context>
    <name>UpgradeFlow</name>
    <message>
        <source>The offline update service stopped during the upgrade. The system may be partly upgraded: have it checked before you restart it.</source>
        <translation>离线升级服务在升级过程中停止。系统可能仅部分升级：请在重启前进行检查。</translation>
    </message>
    <message>
        <source>The system could not be backed up, so nothing was upgraded. The reason is in the details; ask your administrator if you cannot resolve it.</source>
        <translation>无法备份系统，因此未进行任何升级。原因见详细信息；如无法解决，请联系管理员。</translation>
    </message>
    <message>
        <source>The package&apos;s scripts that run after the upgrade reported a problem.</source>
        <translation>升级包在升级后运行的脚本报告了问题。</translation>
    </message>
</context>
<context>
    <name>UpgradePlanDialog</name>
    <message>
        <source>Upgrade</source>
        <translation>升级</translation>
    </message>
    <message>
        <source>What the upgrade will do</source>
        <translation>升级将做的变更</translation>
    </message>
    <message>
        <source>The upgrade plan</source>
        <translation>升级计划</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>UpgradePlanRow</name>
    <message>
        <source>Show the plan</source>
        <translation>查看升级计划</translation>
    </message>
    <message>
        <source>The upgrade: %1</source>
        <translation>此次升级：%1</translation>
    </message>
</context>
<context>
    <name>UpgradePlanTree</name>
    <message>
        <source>Scroll the plan</source>
        <translation>滚动升级计划</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>system upgrade tool tevrin system upgrade tool in Linux</source>
        <translation>系统升级工具，tevrin的Linux系统升级工具</translation>
    </message>
    <message>
        <source>Offline Upgrade Tool</source>
        <translation>离线升级工具</translation>
    </message>
</context>
</TS>
