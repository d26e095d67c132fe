// Linked into the GUI test programs of the address-sanitizer build only. With a display
// set, Qt opens the GL driver (libglvnd loads Mesa's libGLX_mesa and its DRI driver), and
// libglvnd unloads it again when the display connection closes. Memory that the driver
// still points to from its own globals is then reachable from nowhere LeakSanitizer can
// see, and is reported at exit as a "Direct leak" from "<unknown module>", which no
// suppression can name. Unloading is made a no-op here instead: every library stays
// mapped until the process ends, its globals stay roots of the leak check, and a real
// leak inside it would still carry its library's name.
extern "C" int dlclose(void*) noexcept { return 0; }
