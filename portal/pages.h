// The portal's server-rendered pages in Swedish: one frame (UTF-8, a viewport for phones,
// one small style sheet, the links between the pages) and the pages the game opens
// besides the home page: what the game needs to send scores ("/dll/"), the version page
// ("/version.asp?gameid=N") and becoming a member ("/registrera/"). Every value put into a
// page is HTML-escaped; no page shows an e-mail address but the visitor's own.
#pragma once

#include "portal/storage.h"

#include <httplib.h>

#include <string>
#include <string_view>

// A whole page around `body` (HTML); `title` is plain text and escaped here.
std::string pageFrame(std::string_view title, std::string_view body);

std::string dllPage();
std::string versionPage(std::string_view gameId);

// Registers "/dll/", "/version.asp" and "/registrera/" (and their forms without the
// closing slash) on the server.
void addPages(httplib::Server& server, Storage& storage);
