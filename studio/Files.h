// The effect's text files for the studio's editor: the list, the text of
// one, and saving one. Routes (all under the server's token, Host and
// origin checks):
//   GET /api/sources               {"files": [{"path", "size"}]}
//   GET /api/source?path=P         {"path", "text", "version"}
//   PUT /api/source                body {"path", "text", "version"?}; answers {"path", "version"}
//
// Rules: only existing files inside the effect folder (after following
// links; no "..", no absolute names, no links that lead out: 403) and, for
// an imported ISF or Shadertoy file, only the author's files the import
// reads (the effect made from them is rewritten by every import: 403), only
// text (a known text extension, UTF-8 without NUL bytes: 415 otherwise), at
// most kMaxSourceSize bytes (413). A save needs Content-Type:
// application/json (415). `version` names the text as it was read; a save
// that carries one is refused with 409 when the file changed on disk since,
// so that an edit never silently overwrites another editor's. A save writes
// a new file beside the old one and renames it over it: the effect never
// sees half a file, and a failed write leaves the old text.
//
// Threads: the handlers keep no state (`only` below is called on the
// server's threads); the file watcher reloads the effect, or imports the
// file again, after a save as after any other editor's.
#pragma once

#include <httplib.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace studio {

constexpr size_t kMaxSourceSize = 1024 * 1024;

// True for the names the editor opens: scripts, shaders (also ISF's ".fs"
// and ".vs"), XML and plain text.
bool isSourceName(const std::string& path);

// Adds the routes above for the folder `root` (absolute; empty when the
// studio shows a module: the list is then empty and every file is
// refused). Without `only` every text file under it is the editor's; with
// it, only the names (relative to `root`) it gives at the time of a request.
void addSourceRoutes(httplib::Server& server, const std::string& root,
                     std::function<std::vector<std::string>()> only = nullptr);

}  // namespace studio
