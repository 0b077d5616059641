/* Exits 0 when the X selection named on the command line has an owner, 1 when
 * it has none, 2 when the display cannot be opened. The X tests use it to wait
 * for a compositing manager (_NET_WM_CM_S0) before they rely on one. */
#include <X11/Xlib.h>
#include <stdio.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s SELECTION\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) return 2;
    const Atom atom = XInternAtom(display, argv[1], False);
    const int owned = XGetSelectionOwner(display, atom) != None;
    XCloseDisplay(display);
    return owned ? 0 : 1;
}
