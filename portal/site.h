// The browser version of the game, served from a folder under "/spela/": only plain file
// names below the folder (no "..", no hidden files, no absolute paths), each with its
// content type. Every file is revalidated on each load (Cache-Control: no-cache with an
// ETag), so a rebuilt pingel.wasm is never paired with an older page; unchanged files
// cost a 304. Text files are compressed by the HTTP library, the WebAssembly file here,
// with gzip when the client accepts it.
#pragma once

#include "portal/http.h"

#include <string>

// Registers "/spela" (a redirect), "/spela/..." and an empty "/favicon.ico" on the server. When the
// folder holds no index.html, the pages say that the browser version is not built here.
void addSite(http::Routes& routes, const std::string& folder);
