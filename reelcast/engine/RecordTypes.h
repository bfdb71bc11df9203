#pragma once

// The persisted recording choices. The stores hand them out as plain int, so the
// enumerations stay unscoped: a stored value compares directly, and a value outside the
// enumeration survives unchanged for the reader to interpret.

// "video"/"mode": what is recorded.
enum RecordMode : int
{
    FullScreen = 0,
    Area = 1,
    Game = 2,
    Camera = 3
};

// "audio"/"type": a bit set.
enum AudioSource : int
{
    NoAudio = 0,
    SystemOnly = 1,
    MicrophoneOnly = 2,
    SystemAndMicrophone = 3
};

// "video"/"quality".
enum VideoQuality : int
{
    Low = 0,
    Recommended = 1,
    High = 2,
    HD = 3
};

// "video"/"format".
enum VideoFormat : int
{
    MP4 = 0,
    FLV = 1,
    WMV = 2,
    AVI = 3
};

// "camera"/"type".
enum CameraState : int
{
    NoDevice = 0,
    Off = 1,
    On = 2
};

// "mark"/"type": watermark kind.
enum MarkType : int
{
    NoMark = 0,
    ImageMark = 1,
    TextMark = 2
};

// "mark_text"/"pos" and "mark_image"/"pos": watermark corner.
enum MarkPosition : int
{
    TopLeft = 0,
    TopRight = 1,
    BottomLeft = 2,
    BottomRight = 3
};

// "mark_text"/"color": index into the watermark colour table.
enum MarkColor : int
{
    Black = 0,
    White = 1,
    Red = 2,
    Yellow = 3,
    Green = 4,
    Blue = 5
};
