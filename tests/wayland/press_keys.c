/* Presses keys on a KWin session as a keyboard would, through KWin's fake input: each
 * argument is a Linux key code, held 150 ms. For tests that need a real key press reach the
 * compositor (global shortcuts, dialogs). KWin offers fake input to any client only when
 * started with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include "fake-input-client-protocol.h"

static struct org_kde_kwin_fake_input* fake_input;

static void global(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                   uint32_t version)
{
    (void)data;
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        fake_input = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
}

static void global_remove(void* data, struct wl_registry* registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener listener = {global, global_remove};

static void hold(long ms)
{
    struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}

int main(int argc, char** argv)
{
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "press_keys: no Wayland display\n");
        return 2;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &listener, NULL);
    wl_display_roundtrip(display);
    if (!fake_input) {
        fprintf(stderr, "press_keys: the compositor offers no fake input (version 4)\n");
        return 2;
    }
    org_kde_kwin_fake_input_authenticate(fake_input, "press_keys", "test keys");
    for (int i = 1; i < argc; ++i) {
        const uint32_t key = (uint32_t)strtoul(argv[i], NULL, 10);
        org_kde_kwin_fake_input_keyboard_key(fake_input, key, 1);
        wl_display_roundtrip(display);
        hold(150);
        org_kde_kwin_fake_input_keyboard_key(fake_input, key, 0);
        wl_display_roundtrip(display);
    }
    wl_display_disconnect(display);
    return 0;
}
