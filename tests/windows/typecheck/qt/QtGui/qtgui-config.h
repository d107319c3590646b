// Debian's QtGui was configured for X11 with EGL and GLX, which a Qt for Windows has not:
// their native interfaces stay undeclared, so that code reaching for them fails here as
// it would in the Windows build.
#include_next <QtGui/qtgui-config.h>
#undef QT_FEATURE_xcb
#define QT_FEATURE_xcb -1
#undef QT_FEATURE_xcb_glx_plugin
#define QT_FEATURE_xcb_glx_plugin -1
#undef QT_FEATURE_egl
#define QT_FEATURE_egl -1
