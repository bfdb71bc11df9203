#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// One monitor of a screen cast: its PipeWire node and where it lies on the desktop, in logical
// units (the stream's pixels may be more at a fractional scale).
struct CastStream
{
    unsigned node = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// How the desktop puts the pointer into a cast.
enum class CastCursor
{
    Hidden,
    Embedded,
    Metadata
};

enum class CastOutcome
{
    Granted,
    Cancelled,   // the user closed the desktop's dialog
    Failed,      // the desktop refused or broke off; detail says what it said
    Unavailable, // the desktop offers no screen cast at all
};

struct CastRequest
{
    // Every monitor (the whole desktop) rather than one.
    bool multiple = false;
    // The wish; the desktop's own modes decide (metadata, else embedded, else hidden).
    CastCursor cursor = CastCursor::Metadata;
    // The permission remembered from an earlier cast; empty asks the user.
    std::string restoreToken;
};

// A screen cast of the desktop (Linux: the ScreenCast portal). One session lasts as long as the
// permission is needed; each reader of the picture gets a remote of its own. The callbacks come
// on the interface thread; openRemote() may be called from any thread.
class ScreenCastSession
{
public:
    ScreenCastSession();
    ~ScreenCastSession();
    ScreenCastSession(const ScreenCastSession&) = delete;
    ScreenCastSession& operator=(const ScreenCastSession&) = delete;

    // Asks the desktop; `done` is called once, however long the user takes. A remembered
    // permission that the desktop refuses is dropped and the user is asked instead.
    void start(const CastRequest& request, std::function<void(CastOutcome, const std::string& detail)> done);
    // Called once when the desktop ends a granted cast (the user stopped sharing).
    void setClosedHandler(std::function<void()> onClosed);

    bool isOpen() const;
    std::vector<CastStream> streams() const;
    CastCursor cursor() const;
    // The permission to remember for the next cast: the newest the desktop gave.
    std::string restoreToken() const;
    // A new descriptor of the cast's PipeWire remote, the caller's to close; -1 when the cast
    // is not open or the desktop refuses.
    int openRemote() const;
    // Ends the cast; the closed handler is not called.
    void close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Clears the close-on-exec flag of `fd` in a child between fork and exec, so that the program it
// runs inherits the descriptor. Only async-signal-safe calls. Windows: nothing.
void inheritDescriptor(int fd);

// Closes a descriptor that openRemote() gave.
void closeDescriptor(int fd);

} // namespace platform
