#!/bin/sh
# Started once at program start, detached. Makes sure a sound server answers, so that
# system sound and microphone sources exist before the first recording.
if command -v pactl >/dev/null 2>&1; then
    if ! pactl info >/dev/null 2>&1; then
        if command -v pulseaudio >/dev/null 2>&1; then
            pulseaudio --start >/dev/null 2>&1
        fi
    fi
fi
exit 0
