#pragma once

// What every test program does besides its tests (TestProcess.cpp, linked into each):
//  - What the program keeps between runs, and what Qt and the libraries keep (settings, caches,
//    data), goes to a temporary folder of the test program's own, removed when it ends: the
//    user's own folders are never written. XDG_CONFIG_HOME, XDG_CACHE_HOME and XDG_DATA_HOME
//    lead there before any test runs; a test may give one a folder of its own.
//  - fsync() and fdatasync() count the waits for the disk asked for, and do not wait: a test's
//    files need not survive a crash, and on a slow disk the waits took longer than the tests.
//    The programs the tests start wait as they always do.

namespace tessivo::testing {

int DiskWaits();

} // namespace tessivo::testing
