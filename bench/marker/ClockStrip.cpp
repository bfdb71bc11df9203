#include "ClockStrip.h"

#include <vector>

ClockStrip::~ClockStrip()
{
    if (!display_)
        return;
    XFreeGC(display_, black_);
    XFreeGC(display_, paper_);
    XFreePixmap(display_, pixmap_);
    XDestroyWindow(display_, white_);
    XDestroyWindow(display_, strip_);
    XCloseDisplay(display_);
}

bool ClockStrip::open()
{
    display_ = XOpenDisplay(nullptr);
    if (!display_)
        return false;
    const int screen = DefaultScreen(display_);
    const Window root = RootWindow(display_, screen);
    width_ = DisplayWidth(display_, screen);
    height_ = DisplayHeight(display_, screen);

    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;
    attrs.background_pixel = WhitePixel(display_, screen);
    const unsigned long mask = CWOverrideRedirect | CWBackPixel;
    const int stripWidth = kBits * kBlock;
    const int stripHeight = 2 * kBlock;
    strip_ = XCreateWindow(display_, root, stripX(), stripY(), stripWidth, stripHeight, 0, CopyFromParent,
                           InputOutput, CopyFromParent, mask, &attrs);
    white_ = XCreateWindow(display_, root, 0, 0, width_, stripY(), 0, CopyFromParent, InputOutput,
                           CopyFromParent, mask, &attrs);
    pixmap_ = XCreatePixmap(display_, strip_, stripWidth, stripHeight, DefaultDepth(display_, screen));
    black_ = XCreateGC(display_, pixmap_, 0, nullptr);
    XSetForeground(display_, black_, BlackPixel(display_, screen));
    paper_ = XCreateGC(display_, pixmap_, 0, nullptr);
    XSetForeground(display_, paper_, WhitePixel(display_, screen));
    XMapRaised(display_, strip_);
    XSync(display_, False);
    return true;
}

void ClockStrip::show(uint32_t value)
{
    value &= (1u << kBits) - 1;
    if (value == shown_)
        return;
    shown_ = value;
    // Most significant bit on the left; upper row black for a set bit, lower row the complement.
    std::vector<XRectangle> blocks;
    blocks.reserve(kBits);
    for (int i = 0; i < kBits; ++i) {
        const bool set = (value >> (kBits - 1 - i)) & 1u;
        blocks.push_back(XRectangle{short(i * kBlock), short(set ? 0 : kBlock), kBlock, kBlock});
    }
    XFillRectangle(display_, pixmap_, paper_, 0, 0, kBits * kBlock, 2 * kBlock);
    XFillRectangles(display_, pixmap_, black_, blocks.data(), int(blocks.size()));
    XCopyArea(display_, pixmap_, strip_, paper_, 0, 0, kBits * kBlock, 2 * kBlock, 0, 0);
    XFlush(display_);
}

void ClockStrip::setWhite(bool white)
{
    if (white)
        XMapRaised(display_, white_);
    else
        XUnmapWindow(display_, white_);
    XSync(display_, False);
}
