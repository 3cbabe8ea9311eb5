// A shared object with nothing in it that would keep it loaded on its own
// (no C++ statics with unique symbols): built three times as libraries the
// tests load, unload and check.
extern "C" int quorvin_plain_library() { return 1; }
