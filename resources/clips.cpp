// The clips are compiled in by qt_add_resources (see CMakeLists.txt);
// this unit only gives the static library a source of its own.
