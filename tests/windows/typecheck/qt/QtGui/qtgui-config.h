// Debian's QtGui was configured for X11 with EGL; a Windows Qt has neither, and its
// Windows headers must not be asked to declare their native interfaces.
#include_next <QtGui/qtgui-config.h>
#undef QT_FEATURE_xcb
#define QT_FEATURE_xcb -1
#undef QT_FEATURE_xcb_glx_plugin
#define QT_FEATURE_xcb_glx_plugin -1
#undef QT_FEATURE_egl
#define QT_FEATURE_egl -1
