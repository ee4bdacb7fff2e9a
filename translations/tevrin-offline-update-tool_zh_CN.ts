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
    <name>CheckFailureReason</name>
    <message>
        <source>The package file does not exist.</source>
        <translation>软件包文件不存在。</translation>
    </message>
    <message>
        <source>The package path does not name a regular file.</source>
        <translation>软件包路径指向的不是普通文件。</translation>
    </message>
    <message>
        <source>The package file cannot be read.</source>
        <translation>无法读取软件包文件。</translation>
    </message>
    <message>
        <source>There is not enough free disk space to unpack the package.</source>
        <translation>磁盘可用空间不足，无法解压软件包。</translation>
    </message>
    <message>
        <source>Needed/free: %1</source>
        <translation>所需/可用：%1</translation>
    </message>
    <message>
        <source>The file is not an offline update package, or it is damaged.</source>
        <translation>该文件不是离线升级包，或已损坏。</translation>
    </message>
    <message>
        <source>The package&apos;s signature is not valid: it may have been altered.</source>
        <translation>软件包签名无效：软件包可能已被篡改。</translation>
    </message>
    <message>
        <source>This system accepts only signed packages, and this package is not signed.</source>
        <translation>本系统只接受已签名的软件包，而该软件包没有签名。</translation>
    </message>
    <message>
        <source>Another check or upgrade is using the package cache; try again when it has finished.</source>
        <translation>另一个检测或升级正在使用软件包缓存，请在其结束后重试。</translation>
    </message>
    <message>
        <source>A pre-upgrade script of the package found this system unfit for the upgrade.</source>
        <translation>软件包的升级前脚本判定本系统不适合此次升级。</translation>
    </message>
    <message>
        <source>Script and its last message: %1</source>
        <translation>脚本及其最后一条信息：%1</translation>
    </message>
    <message>
        <source>The package is built for another processor architecture.</source>
        <translation>该软件包是为其他处理器架构构建的。</translation>
    </message>
    <message>
        <source>Package/this machine: %1</source>
        <translation>软件包/本机：%1</translation>
    </message>
    <message>
        <source>There is not enough free disk space for the system backup.</source>
        <translation>磁盘可用空间不足，无法进行系统备份。</translation>
    </message>
    <message>
        <source>The software repository inside the package cannot be read.</source>
        <translation>无法读取软件包内的软件仓库。</translation>
    </message>
    <message>
        <source>The package manager said: %1</source>
        <translation>软件包管理器提示：%1</translation>
    </message>
    <message>
        <source>The package holds no newer software than this system already has.</source>
        <translation>软件包中没有比本系统已安装版本更新的软件。</translation>
    </message>
    <message>
        <source>Checking update packages needs an administrator&apos;s authorization, which was not given.</source>
        <translation>检测升级包需要管理员授权，但未获得授权。</translation>
    </message>
    <message>
        <source>The check failed (%1).</source>
        <translation>检测失败（%1）。</translation>
    </message>
    <message>
        <source>The package file was written to while it was checked. Check it again once it is complete.</source>
        <translation>检测期间升级包文件被写入。请在文件完整后重新检测。</translation>
    </message>
    <message>
        <source>This system accepts signed packages only from a local disk. Copy the package to your home folder and check it there.</source>
        <translation>本系统只接受本地磁盘上的已签名升级包。请将升级包复制到您的主目录后重新检测。</translation>
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
        <source>Verification failed: %1</source>
        <translation>验证失败：%1</translation>
    </message>
    <message>
        <source>Not checked</source>
        <translation>未检查</translation>
    </message>
    <message>
        <source>Running the package&apos;s post-upgrade scripts...</source>
        <translation>正在运行软件包的升级后脚本...</translation>
    </message>
    <message>
        <source>The offline update service stopped during the upgrade. The system may be partly upgraded: have it checked before you restart it.</source>
        <translation>离线升级服务在升级过程中停止。系统可能只升级了一部分：请在重启前检查系统。</translation>
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
    <message>
        <source>Back</source>
        <translation>返回</translation>
    </message>
    <message>
        <source>The offline update service stopped before the check was finished. Go back and import the package again.</source>
        <translation>离线升级服务在检测完成前停止。请返回并重新导入软件包。</translation>
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
</context>
<context>
    <name>main</name>
    <message>
        <source>system upgrade tool tevrin system upgrade tool in Linux</source>
        <translation>系统升级工具，tevrin的Linux系统升级工具</translation>
    </message>
</context>
</TS>
