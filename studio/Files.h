// The effect's text files for the studio's editor: the list, the text of
// one, and saving one. Routes (all under the server's token, Host and
// origin checks):
//   GET /api/sources               {"files": [{"path", "size"}]}
//   GET /api/source?path=P         {"path", "text", "version"}
//   PUT /api/source                body {"path", "text", "version"?}; answers {"path", "version"}
//
// Rules: only existing files inside the effect folder (after following
// links; no "..", no absolute names, no links that lead out: 403), only
// text (a known text extension, UTF-8 without NUL bytes: 415 otherwise), at
// most kMaxSourceSize bytes (413). A save needs Content-Type:
// application/json (415). `version` names the text as it was read; a save
// that carries one is refused with 409 when the file changed on disk since,
// so that an edit never silently overwrites another editor's. A save writes
// a new file beside the old one and renames it over it: the effect never
// sees half a file, and a failed write leaves the old text.
//
// Threads: the handlers keep no state; the file watcher reloads the effect
// after a save as after any other editor's.
#pragma once

#include <httplib.h>

#include <cstddef>
#include <string>

namespace studio {

constexpr size_t kMaxSourceSize = 1024 * 1024;

// True for the names the editor opens: scripts, shaders, XML and plain text.
bool isSourceName(const std::string& path);

// Adds the routes above for the effect folder `effectDir` (absolute; empty
// when the studio shows a module: the list is then empty and every file
// is refused).
void addSourceRoutes(httplib::Server& server, const std::string& effectDir);

}  // namespace studio
