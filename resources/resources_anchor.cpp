// The resource library needs one translation unit of its own; the pictures and tables
// themselves are added by qt_add_resources.
namespace tessaro { int resourcesAnchor() { return 0; } }
