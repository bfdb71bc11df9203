// av-marker: a visible millisecond clock plus, on request, a white screen and a tone started
// together, for measuring how a recording's picture and sound line up.
//
// On start it prints one line
//     ready BASE_MS STRIP_X STRIP_Y BITS BLOCK SCREEN_W SCREEN_H
// The strip at (STRIP_X, STRIP_Y) shows (now - BASE_MS) in milliseconds, BITS blocks of BLOCK
// pixels, most significant first, black for a set bit, and the complement in a second row below.
// Commands on standard input, one per line:
//     flash [MS]  white screen for MS milliseconds (default 300) and a 1 kHz tone as long; prints
//                 "flash SCREEN_MS TONE_MS" once the tone is written: the wall-clock instants at
//                 which the screen turned white and the tone's first sample left the sink
//     quit        (or end of input) ends the program
// With --moving it also scrolls a full-screen picture under everything else (MovingPicture).
#include "ClockStrip.h"
#include "MovingPicture.h"
#include "TonePlayer.h"
#include "WallClock.h"

#include <poll.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

namespace {

struct Flash
{
    double screenAt = 0;   // when the screen turned white
    double whiteUntil = 0; // when it turns back; 0 when no flash is on
    bool answered = true;
};

// Reads whatever standard input holds and returns complete lines one by one.
class LineReader
{
public:
    // false at end of input
    bool poll(int timeoutMs)
    {
        pollfd pfd{STDIN_FILENO, POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) <= 0)
            return true;
        char chunk[256];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        buffer_.append(chunk, size_t(n));
        return true;
    }

    bool next(std::string* line)
    {
        const size_t end = buffer_.find('\n');
        if (end == std::string::npos)
            return false;
        *line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return true;
    }

private:
    std::string buffer_;
};

} // namespace

int main(int argc, char** argv)
{
    const bool moving = argc > 1 && std::string(argv[1]) == "--moving";
    // The moving picture draws from its own thread on its own connection.
    XInitThreads();
    ClockStrip strip;
    if (!strip.open()) {
        std::cerr << "av-marker: cannot open the X display\n";
        return 1;
    }
    TonePlayer tone;
    std::string error;
    if (!tone.open(&error)) {
        std::cerr << "av-marker: cannot play into the sound server: " << error << '\n';
        return 1;
    }

    MovingPicture picture;
    if (moving && !picture.start()) {
        std::cerr << "av-marker: cannot draw the moving picture (MIT-SHM)\n";
        return 1;
    }

    const double base = std::floor(WallClock::nowMs());
    strip.show(0);
    std::printf("ready %.0f %d %d %d %d %d %d\n", base, strip.stripX(), strip.stripY(), ClockStrip::kBits,
                ClockStrip::kBlock, strip.screenWidth(), strip.screenHeight());
    std::fflush(stdout);

    LineReader input;
    Flash flash;
    for (;;) {
        const double now = WallClock::nowMs();
        strip.show(uint32_t(now - base));
        if (flash.whiteUntil != 0 && now >= flash.whiteUntil) {
            strip.setWhite(false);
            flash.whiteUntil = 0;
        }
        if (!flash.answered) {
            const double playedAt = tone.tonePlayedAt();
            if (playedAt != 0) {
                std::printf("flash %.3f %.3f\n", flash.screenAt, playedAt);
                std::fflush(stdout);
                flash.answered = true;
            }
        }

        if (!input.poll(1))
            break;
        std::string line;
        bool quit = false;
        while (input.next(&line)) {
            std::istringstream words(line);
            std::string command;
            words >> command;
            if (command == "quit") {
                quit = true;
            } else if (command == "flash" && flash.answered) {
                int ms = 300;
                words >> ms;
                strip.show(uint32_t(WallClock::nowMs() - base));
                strip.setWhite(true);
                flash.screenAt = WallClock::nowMs();
                flash.whiteUntil = flash.screenAt + ms;
                flash.answered = false;
                tone.requestTone(ms);
            } else if (!command.empty()) {
                std::cerr << "av-marker: unknown or untimely command: " << line << '\n';
            }
        }
        if (quit)
            break;
    }
    return 0;
}
