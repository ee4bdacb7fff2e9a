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
        <source>2.Use the ↑↓ arrow keys on the keyboard to move the selection bar to the &quot;回退到Norvane（xxxx）&quot; option, and press Enter to initiate the restore process.</source>
        <translation>2.使用键盘上的↑↓方向键将选择条移至“回退到Norvane（xxxx）”选项，按Enter键开始还原。</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>File format error, please reselect</source>
        <translation>文件格式错误，请重新选择</translation>
    </message>
</context>
<context>
    <name>OfflineCheckResultWidget</name>
    <message>
        <source>Insufficient disk space, please clean up disk space and try again!</source>
        <translation>磁盘空间不足，请清理磁盘空间后重试！</translation>
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
        <source>File corrupted, please check and try again!</source>
        <translation>文件已损坏，请检查后重试！</translation>
    </message>
    <message>
        <source>System environment is abnormal, contact the administrator！</source>
        <translation>系统环境异常，请联系管理员！</translation>
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
        <source>%1 item(s)</source>
        <translation>%1项</translation>
    </message>
    <message>
        <source>No available update package</source>
        <translation>无可用的升级包</translation>
    </message>
    <message>
        <source>Offline Package Update Number Detection</source>
        <translation>离线升级包更新数量检测</translation>
    </message>
    <message>
        <source>System backup failed, please contact administrator to resolve.</source>
        <translation>系统备份失败，请联系管理员处理。</translation>
    </message>
    <message>
        <source>The upgrade fails due to an exception in the resource package, perform a system restoration.</source>
        <translation>资源包异常导致升级失败，请进行系统还原。</translation>
    </message>
    <message>
        <source>If the upgrade is successful, restart the system to take effect</source>
        <translation>升级成功，重启系统后生效</translation>
    </message>
    <message>
        <source>The upgrade could not be started: %1</source>
        <translation>无法开始升级：%1</translation>
    </message>
    <message>
        <source>OK</source>
        <comment>Button</comment>
        <translation>确定</translation>
    </message>
</context>
<context>
    <name>OfflineUpdateCheckingWidget</name>
    <message>
        <source>Upgrade package detection in progress, please wait</source>
        <translation>正在检测升级包，请稍候</translation>
    </message>
    <message>
        <source>The package check could not be started: %1</source>
        <translation>无法开始检测升级包：%1</translation>
    </message>
</context>
<context>
    <name>OfflineUpdateModel</name>
    <message>
        <source>the offline update service is not installed or not running</source>
        <translation>离线升级服务未安装或未运行</translation>
    </message>
    <message>
        <source>checking update packages needs an administrator&apos;s authorization, which was not given</source>
        <translation>检测升级包需要管理员授权，但未获得授权</translation>
    </message>
    <message>
        <source>upgrading the system needs an administrator&apos;s authorization, which was not given</source>
        <translation>升级系统需要管理员授权，但未获得授权</translation>
    </message>
</context>
<context>
    <name>OfflineUpdateWidget</name>
    <message>
        <source>Import offline file (.oup)</source>
        <translation>导入离线升级包（.oup）</translation>
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
</context>
<context>
    <name>main</name>
    <message>
        <source>system upgrade tool tevrin system upgrade tool in Linux</source>
        <translation>系统升级工具，tevrin的Linux系统升级工具</translation>
    </message>
</context>
</TS>
