#pragma once

// What the system's folder readers share: reading a folder that is open,
// and what a stat says of an entry. For fs/ alone.

#include "fs/folder_reader.h"

#include <sys/stat.h>

namespace korvane {

FolderIdentity identityOf(const struct stat& st);
EntryKind kindOfMode(mode_t mode);

// Reads the open folder `fd`, which it closes: its identity, whether it can
// be entered, its entries (see FolderReader::list). 0 or the system's error
// number.
int readOpenFolder(int fd, FolderListing& listing);

} // namespace korvane
