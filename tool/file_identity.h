// Tells whether two paths lead to one and the same regular file, as the file
// system sees it: by the device (volume) and the file's number on it, so
// that any spelling of a path, a hard link or a symbolic link to the file
// counts, and two equal strings naming no file do not. Nothing is opened
// for reading or writing, nothing is allocated, and nothing is printed.
#pragma once

// True only when both paths name existing regular files, symbolic links
// followed, and these are the same file. A path that does not exist, that
// cannot be examined, or that names anything but a regular file (a
// directory, a terminal, a FIFO, a device such as /dev/null) is the same as
// no other path, even one naming the very same device.
bool same_regular_file(const char* first, const char* second);
