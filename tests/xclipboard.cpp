// Prints the text on the X clipboard (what a program put there, as with Ctrl+C in a message box)
// to stdout, for the dialog tests: exit code 0, or 1 when the clipboard holds no text.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>

int main() {
  Display* display = XOpenDisplay(nullptr);
  for (int attempt = 0; !display && attempt < 5; ++attempt) {  // the server may hang up on one
    usleep(20000);
    display = XOpenDisplay(nullptr);
  }
  if (!display) return 2;
  const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  const Atom property = XInternAtom(display, "BRACKENFOLD_CLIPBOARD", False);
  XConvertSelection(display, XInternAtom(display, "CLIPBOARD", False), XInternAtom(display, "UTF8_STRING", False),
                    property, window, CurrentTime);
  for (int wait = 0; wait < 500; ++wait) {  // 5 s for the owner to answer
    while (XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type != SelectionNotify) continue;
      if (event.xselection.property == None) return 1;
      Atom type;
      int format;
      unsigned long count, after;
      unsigned char* data = nullptr;
      XGetWindowProperty(display, window, property, 0, 1 << 16, False, AnyPropertyType, &type, &format, &count,
                         &after, &data);
      if (!data) return 1;
      std::fwrite(data, 1, count, stdout);
      XFree(data);
      return 0;
    }
    usleep(10000);
  }
  return 1;
}
