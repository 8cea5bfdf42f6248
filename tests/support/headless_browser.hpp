#pragma once

// Opens a page in headless Chromium as a reader would, served from a local
// server that is also the browser's proxy: every request the page makes,
// to this machine or any other, reaches the server and is recorded.

#include <string>
#include <vector>

#include "support/cli_harness.hpp"

namespace quorvane::testing {

struct BrowserView {
    std::string dom;                    // the document after loading
    std::vector<std::string> requests;  // request lines other than the page's own
    std::vector<std::string> console;   // messages the page logged
    std::string screenshot;             // PNG bytes
};

// Whether Chromium is installed.
bool browser_available();

// Loads `html` once to read its document and once for a screenshot of
// `width` x `height` pixels.
BrowserView open_in_browser(const std::string& html, const TempDir& work, int width = 1280, int height = 2000);

}  // namespace quorvane::testing
