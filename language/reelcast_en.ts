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
    <name>QGlobalSettings</name>
    <message>
        <source>Vexlo录屏助手</source>
        <translation>Vexlo Screen Recorder</translation>
    </message>
</context>
</TS>
