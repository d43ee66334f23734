/*
 * Tessaro - the library's version. This is the one place it is set: the build
 * reads these three lines for the project version (shared-object version,
 * pkg-config files, CMake package, Debian packages), and GetSDKVersion reports
 * them as its three bytes.
 *
 *   #if TESSARO_VERSION_MAJOR == 1 && TESSARO_VERSION_MINOR >= 2
 */
#ifndef TESSARO_VERSION_H
#define TESSARO_VERSION_H

#define TESSARO_VERSION_MAJOR 1
#define TESSARO_VERSION_MINOR 2
#define TESSARO_VERSION_PATCH 0

#endif /* TESSARO_VERSION_H */
