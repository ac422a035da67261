// The studio: a local web server that shows an effect live while its
// author edits it. It renders through the stand-in host in a render
// process of its own (studio/RenderProcess.h), reloads the effect when a
// file of it changes, and serves a page and a JSON/image API (docs/studio.md).
//
// Safety: it listens on 127.0.0.1 only; every request but the page's script
// and style needs the token it prints (never kept in a cookie), a loopback
// Host header and no other web page as its origin; files come only from
// the effect folder, the --input image and images the user uploads;
// request, image and upload sizes are bounded (studio/Rules.h).
// Errors: serve() throws std::runtime_error when it cannot start (port in
// use, no token source); after that, failures of the effect are reported
// to the page and the API, never thrown. Threads: the server answers each
// connection on a thread of its own (up to a limit); every use of the
// render process is serialised by one lock. serve() returns after SIGINT or SIGTERM, with the render process
// stopped and the upload folder removed.
#pragma once

#include <string>
#include <vector>

namespace studio {

class SourceEffect;

// The photograph offered as an input beside the test card (scikit-image's
// "coffee" sample, CC0, from Debian's python3-skimage).
constexpr const char* kPhotographPath = "/usr/lib/python3/dist-packages/skimage/data/coffee.png";

// The test card's size until the page chooses another.
constexpr unsigned kCardWidth = 640, kCardHeight = 360;

struct Options {
    std::string effectDir;      // absolute; set for an effect folder
    std::string modulePath;     // absolute path of the module (the engine's for an effect folder)
    std::string input;          // absolute path of --input, or empty
    int port = 0;               // 0: any free port
    bool open = true;           // open the default browser when there is a display
    double renderTimeout = 10;  // seconds a request may take before the render process counts as hung
    // The command line that starts a render process (studio/RenderProcess.h).
    std::vector<std::string> renderCommand;
    // Set when effectDir is an imported ISF or Shadertoy file (studio/SourceEffect.h):
    // its files are watched instead, and errors name them.
    SourceEffect* source = nullptr;
};

// Prints "Studio: http://127.0.0.1:PORT/?token=TOKEN" on stdout and serves
// until interrupted. Returns the exit status.
int serve(const Options& options);

}  // namespace studio
