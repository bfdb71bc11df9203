<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CHelpProvider</name>
    <message>
        <source>使用帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>版本 %1
录制屏幕、摄像头和声音。</source>
        <translation>Version %1
Records the screen, the camera and sound.</translation>
    </message>
</context>
<context>
    <name>HMessageBox</name>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>QCaptureWidget</name>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
</context>
<context>
    <name>QCommandLine</name>
    <message>
        <source>无法录制整个桌面：屏幕画面无法获取。请在“模式”中选择其它录制模式。</source>
        <translation>The whole desktop cannot be recorded: the screen cannot be grabbed. Choose another recording mode in the Mode tile.</translation>
    </message>
    <message>
        <source>未检测到摄像头。请连接摄像头，或在“模式”中选择其它录制模式。</source>
        <translation>No camera found. Connect a camera, or choose another recording mode in the Mode tile.</translation>
    </message>
    <message>
        <source>未检测到摄像头“%1”。请连接摄像头，或在“模式”中选择其它录制模式。</source>
        <translation>The camera &quot;%1&quot; was not found. Connect it, or choose another recording mode in the Mode tile.</translation>
    </message>
    <message>
        <source>未检测到麦克风。请连接麦克风，或在“声源”中选择其它声音来源。</source>
        <translation>No microphone found. Connect a microphone, or choose another sound source in the Sound tile.</translation>
    </message>
    <message>
        <source>未找到系统声音来源：声音服务没有运行，或没有可录制的输出。请在“声源”中选择其它声音来源。</source>
        <translation>No system sound source: the sound server is not running or has no output to record. Choose another sound source in the Sound tile.</translation>
    </message>
</context>
<context>
    <name>QGlobalSettings</name>
    <message>
        <source>Vexlo录屏助手</source>
        <translation>Vexlo Screen Recorder</translation>
    </message>
</context>
<context>
    <name>QHomeItem</name>
    <message>
        <source>模式</source>
        <translation>Mode</translation>
    </message>
    <message>
        <source>全屏录制</source>
        <translation>Full screen</translation>
    </message>
    <message>
        <source>显示器%1</source>
        <translation>Monitor %1</translation>
    </message>
    <message>
        <source>区域录制</source>
        <translation>Area</translation>
    </message>
    <message>
        <source>游戏录制</source>
        <translation>Game</translation>
    </message>
    <message>
        <source>摄像头录制</source>
        <translation>Camera</translation>
    </message>
    <message>
        <source>声源</source>
        <translation>Sound</translation>
    </message>
    <message>
        <source>系统声音和麦克风</source>
        <translation>System sound and microphone</translation>
    </message>
    <message>
        <source>仅系统声音</source>
        <translation>System sound only</translation>
    </message>
    <message>
        <source>仅麦克风声音</source>
        <translation>Microphone only</translation>
    </message>
    <message>
        <source>不录声音</source>
        <translation>No sound</translation>
    </message>
    <message>
        <source>画质</source>
        <translation>Quality</translation>
    </message>
    <message>
        <source>低质量（180Kbps）</source>
        <translation>Low (180 kbps)</translation>
    </message>
    <message>
        <source>推荐（300Kbps）</source>
        <translation>Recommended (300 kbps)</translation>
    </message>
    <message>
        <source>高质量（500Kbps）</source>
        <translation>High (500 kbps)</translation>
    </message>
    <message>
        <source>高清（800Kbps）</source>
        <translation>HD (800 kbps)</translation>
    </message>
    <message>
        <source>格式</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>摄像头</source>
        <translation>Camera</translation>
    </message>
    <message>
        <source>录制过程中，不能更改选项！</source>
        <translation>Options cannot be changed while recording!</translation>
    </message>
    <message>
        <source>全屏</source>
        <translation>Full screen</translation>
    </message>
    <message>
        <source>全屏-显示器%1</source>
        <translation>Full screen - monitor %1</translation>
    </message>
    <message>
        <source>区域</source>
        <translation>Area</translation>
    </message>
    <message>
        <source>游戏</source>
        <translation>Game</translation>
    </message>
    <message>
        <source>未检测到设备，请安装后再尝试</source>
        <translation>No camera found. Connect a camera and try again.</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>系统</source>
        <translation>System</translation>
    </message>
    <message>
        <source>麦克风</source>
        <translation>Microphone</translation>
    </message>
    <message>
        <source>系统&amp;麦克风</source>
        <translation>System &amp; mic</translation>
    </message>
    <message>
        <source>低质量</source>
        <translation>Low</translation>
    </message>
    <message>
        <source>推荐</source>
        <translation>Recommended</translation>
    </message>
    <message>
        <source>高质量</source>
        <translation>High</translation>
    </message>
    <message>
        <source>高清</source>
        <translation>HD</translation>
    </message>
    <message>
        <source>无设备</source>
        <translation>No device</translation>
    </message>
    <message>
        <source>摄像头%1</source>
        <translation>Camera %1</translation>
    </message>
</context>
<context>
    <name>QLanguageMenu</name>
    <message>
        <source>语言</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>跟随系统</source>
        <translation>As the desktop</translation>
    </message>
</context>
<context>
    <name>QMainApplication</name>
    <message>
        <source>开始或暂停录制</source>
        <translation>Start or pause recording</translation>
    </message>
    <message>
        <source>停止录制</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>此桌面不提供全局快捷键。请在桌面的键盘设置中把“reelcast --toggle”（开始/暂停）和“reelcast --stop”（停止）设为快捷键。</source>
        <translation>No global hot keys on this desktop. Bind &quot;reelcast --toggle&quot; (start/pause) and &quot;reelcast --stop&quot; as shortcuts in its keyboard settings.</translation>
    </message>
</context>
<context>
    <name>QMainWidget</name>
    <message>
        <source>视频文件正在保存，请稍候再开始录制！</source>
        <translation>The recording is still being saved. Please start again in a moment!</translation>
    </message>
    <message>
        <source>联系客服</source>
        <translation>Contact support</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>菜单</source>
        <translation>Menu</translation>
    </message>
    <message>
        <source>保存目录</source>
        <translation>Save folder</translation>
    </message>
    <message>
        <source>水印设置</source>
        <translation>Watermark settings</translation>
    </message>
    <message>
        <source>开始录制</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>暂停录制</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>结束录制</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>去修改</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>录制过程中，不能更改选项！</source>
        <translation>Options cannot be changed while recording!</translation>
    </message>
    <message>
        <source>确定要退出程序吗？</source>
        <translation>Do you really want to quit?</translation>
    </message>
    <message>
        <source>录屏开启失败，请选择大于%1的保存目录。请重新修改后重试！</source>
        <translation>Recording could not start: choose a save folder with more than %1 free, then try again.</translation>
    </message>
    <message>
        <source>未检测到设备，请安装后再尝试</source>
        <translation>No camera found. Connect a camera and try again.</translation>
    </message>
    <message>
        <source>继续录制</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>录屏已停止，检测到保存空间不足。请重新修改后重试！</source>
        <translation>Recording stopped: the save folder is running out of space. Choose another folder and try again.</translation>
    </message>
    <message>
        <source>检测到未完成的录像，是否恢复并保存？</source>
        <translation>Unfinished recordings were found. Recover and save them?</translation>
    </message>
    <message>
        <source>已录制的部分仍可保存，是否保存？</source>
        <translation>What was recorded can still be saved. Save it?</translation>
    </message>
    <message>
        <source>新的语言将在下次启动程序时生效。</source>
        <translation>The new language takes effect the next time the program starts.</translation>
    </message>
    <message>
        <source>快捷键 %1 已被其它程序占用，按下时不会生效。请在设置中更换。</source>
        <translation>The hot key %1 is held by another program and will not work. Choose another one in the settings.</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>去设置</source>
        <translation>Settings</translation>
    </message>
</context>
<context>
    <name>QMainWidgetClass</name>
    <message>
        <source>工具：</source>
        <translation>Tools:</translation>
    </message>
</context>
<context>
    <name>QMediaManager</name>
    <message>
        <source>视频保存目录不存在！</source>
        <translation>The save folder does not exist!</translation>
    </message>
    <message>
        <source>ffmpeg进程启动失败！</source>
        <translation>The encoder could not be started!</translation>
    </message>
    <message>
        <source>视频录制失败，详情请查看错误日志！</source>
        <translation>Recording failed. See the error log for details!</translation>
    </message>
    <message>
        <source>Rec %1</source>
        <translation>Rec %1</translation>
    </message>
    <message>
        <source>Vexlo录屏</source>
        <translation>Vexlo Recording </translation>
    </message>
    <message>
        <source>视频保存失败,详情请查看日志！</source>
        <translation>Saving the video failed. See the log for details!</translation>
    </message>
    <message>
        <source>桌面已结束屏幕共享，录制已停止。已录制的内容将被保存。</source>
        <translation>The desktop stopped sharing the screen, so the recording has stopped. What was recorded is saved.</translation>
    </message>
    <message>
        <source>桌面已结束屏幕共享，无法继续录制！</source>
        <translation>The desktop stopped sharing the screen; recording cannot continue.</translation>
    </message>
</context>
<context>
    <name>QPreviewWindow</name>
    <message>
        <source>摄像头预览</source>
        <translation>Camera preview</translation>
    </message>
    <message>
        <source>摄像头预览 - %1</source>
        <translation>Camera preview - %1</translation>
    </message>
    <message>
        <source>正在打开摄像头…</source>
        <translation>Opening the camera…</translation>
    </message>
</context>
<context>
    <name>QProcessTip</name>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>打开目录</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>播放视频</source>
        <translation>Play video</translation>
    </message>
    <message>
        <source>正在生成视频文件，请耐心等待...</source>
        <translation>Creating the video file, please wait...</translation>
    </message>
    <message>
        <source>视频文件已生成</source>
        <translation>The video file is ready</translation>
    </message>
</context>
<context>
    <name>QScreenBar</name>
    <message>
        <source>完成</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>QScreenCast</name>
    <message>
        <source>桌面未能共享屏幕，详情请查看错误日志！</source>
        <translation>The desktop could not share the screen. See the error log for details.</translation>
    </message>
    <message>
        <source>无法录制屏幕：此桌面没有屏幕录制服务。请安装 xdg-desktop-portal 和本桌面的后端（如 xdg-desktop-portal-gnome）。</source>
        <translation>Cannot record the screen: no screen cast service. Install xdg-desktop-portal and your desktop&apos;s backend (e.g. xdg-desktop-portal-gnome).</translation>
    </message>
</context>
<context>
    <name>QScreenShot</name>
    <message>
        <source>%1 x %2  双击完成</source>
        <translation>%1 x %2  Double-click to finish</translation>
    </message>
    <message>
        <source>拖动鼠标选择录制区域（此桌面上不能点选窗口）</source>
        <translation>Drag to select the area to record (windows cannot be picked by clicking on this desktop)</translation>
    </message>
</context>
<context>
    <name>QSettingDialog</name>
    <message>
        <source>水印设置</source>
        <translation>Watermark settings</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>画质</source>
        <translation>Quality</translation>
    </message>
    <message>
        <source>低质量（180Kbps）</source>
        <translation>Low (180 kbps)</translation>
    </message>
    <message>
        <source>推荐（300Kbps）</source>
        <translation>Recommended (300 kbps)</translation>
    </message>
    <message>
        <source>高质量（500Kbps）</source>
        <translation>High (500 kbps)</translation>
    </message>
    <message>
        <source>高清（800Kbps）</source>
        <translation>HD (800 kbps)</translation>
    </message>
    <message>
        <source>格式</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>保存到文件夹</source>
        <translation>Save to folder</translation>
    </message>
    <message>
        <source>更改目录</source>
        <translation>Change folder</translation>
    </message>
    <message>
        <source>打开文件夹</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>开始/暂停</source>
        <translation>Start/Pause</translation>
    </message>
    <message>
        <source>结束录制</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>不使用水印</source>
        <translation>No watermark</translation>
    </message>
    <message>
        <source>图片水印</source>
        <translation>Picture watermark</translation>
    </message>
    <message>
        <source>文字水印</source>
        <translation>Text watermark</translation>
    </message>
    <message>
        <source>图片文件</source>
        <translation>Picture file</translation>
    </message>
    <message>
        <source>添加图片</source>
        <translation>Add picture</translation>
    </message>
    <message>
        <source>透明度</source>
        <translation>Transparency</translation>
    </message>
    <message>
        <source>水印位置</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>水印内容</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>字体大小</source>
        <translation>Font size</translation>
    </message>
    <message>
        <source>字体颜色</source>
        <translation>Font colour</translation>
    </message>
    <message>
        <source>字体位置</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>通用</source>
        <translation>General</translation>
    </message>
    <message>
        <source>热键</source>
        <translation>Hot keys</translation>
    </message>
    <message>
        <source>水印</source>
        <translation>Watermark</translation>
    </message>
    <message>
        <source>左上角</source>
        <translation>Top left</translation>
    </message>
    <message>
        <source>右上角</source>
        <translation>Top right</translation>
    </message>
    <message>
        <source>左下角</source>
        <translation>Bottom left</translation>
    </message>
    <message>
        <source>右下角</source>
        <translation>Bottom right</translation>
    </message>
    <message>
        <source>黑色</source>
        <translation>Black</translation>
    </message>
    <message>
        <source>白色</source>
        <translation>White</translation>
    </message>
    <message>
        <source>红色</source>
        <translation>Red</translation>
    </message>
    <message>
        <source>黄色</source>
        <translation>Yellow</translation>
    </message>
    <message>
        <source>绿色</source>
        <translation>Green</translation>
    </message>
    <message>
        <source>蓝色</source>
        <translation>Blue</translation>
    </message>
    <message>
        <source>Alt</source>
        <translation>Alt</translation>
    </message>
    <message>
        <source>Ctrl</source>
        <translation>Ctrl</translation>
    </message>
    <message>
        <source>Shift</source>
        <translation>Shift</translation>
    </message>
    <message>
        <source>热键有冲突，请更换其它快捷键！</source>
        <translation>This hot key is already in use. Please choose another one.</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>选择视频保存路径</source>
        <translation>Choose the folder for recordings</translation>
    </message>
    <message>
        <source>当前软件不具有该文件夹的写入权限，请选择其它文件夹！</source>
        <translation>The program cannot write to this folder. Please choose another folder.</translation>
    </message>
    <message>
        <source>选择水印图片(png格式)</source>
        <translation>Choose a watermark picture (PNG)</translation>
    </message>
    <message>
        <source>快捷键由桌面绑定：这里的组合只是建议，可在桌面的快捷键设置中更改。</source>
        <translation>The desktop binds these keys: the combinations here are only suggestions; change them in the desktop&apos;s shortcut settings.</translation>
    </message>
    <message>
        <source>此桌面不提供全局快捷键：请在桌面的键盘设置中把“reelcast --toggle”（开始/暂停）和“reelcast --stop”（停止）设为快捷键。</source>
        <translation>This desktop offers no global hot keys: bind &quot;reelcast --toggle&quot; (start/pause) and &quot;reelcast --stop&quot; (stop) in the desktop&apos;s keyboard settings.</translation>
    </message>
</context>
<context>
    <name>QVideoSettings</name>
    <message>
        <source>Alt</source>
        <translation>Alt</translation>
    </message>
    <message>
        <source>F6</source>
        <translation>F6</translation>
    </message>
    <message>
        <source>F7</source>
        <translation>F7</translation>
    </message>
</context>
</TS>
