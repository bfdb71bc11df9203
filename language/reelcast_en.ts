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
    <name>QCommandLine</name>
    <message>
        <source>未检测到设备：%1</source>
        <translation>Device not detected: %1</translation>
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
