// The gateway's definition index NavDefDownload.ini and gateway downloads.
#pragma once

#include <string>

#include "platform/context.h"

constexpr const char* kDefIndexFileName = "NavDefDownload.ini";

// Fetches url into the program folder as fileName; true when it was fetched.
bool DownloadFile(RunContext& rc, const std::string& url, const std::string& fileName);
// Reads the index at rc.DefIndexPath; true when it was read.
bool ReadINIfile(RunContext& rc);
