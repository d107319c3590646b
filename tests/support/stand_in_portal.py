'''A stand-in desktop portal for the tests: the RemoteDesktop and GlobalShortcuts
interfaces with their Request and Session objects, answering as a user would.

Run with python3 -m dbusmock --template <this file> on a private session bus. The tests
steer it through the Control interface:
  Set(name, value) / Get(name): consent ("grant" or "refuse"), key_delay_ms (how long each
      key event takes to be answered), and read back keys (keysym, state, keysym, state... in
      arrival order), max_in_flight, dialogs (consent dialogs shown), valid_token, stale_tokens.
  CloseSessions(kind): the desktop revokes every open "remote" or "shortcuts" session.
  Press() / Release(): the user presses and releases the bound shortcut.
'''

import time

import dbus
import dbus.service
from gi.repository import GLib

BUS_NAME = 'org.freedesktop.portal.Desktop'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.portal.RemoteDesktop'
SYSTEM_BUS = False

SHORTCUTS_IFACE = 'org.freedesktop.portal.GlobalShortcuts'
CONTROL_IFACE = 'com.veltrano.quorvane.StandInPortal'
REQUEST_IFACE = 'org.freedesktop.portal.Request'
SESSION_IFACE = 'org.freedesktop.portal.Session'


def _sender_part(sender):
    return sender[1:].replace('.', '_')


def _emit(mock, path, iface, name, signature, args):
    message = dbus.lowlevel.SignalMessage(path, iface, name)
    message.append(*args, signature=signature)
    for location in mock.locations:
        location[0].send_message(message)


def _respond(mock, sender, options, response, results):
    '''Returns the Request path at once and answers through it afterwards, as the portal does.'''
    path = f'{MAIN_OBJ}/request/{_sender_part(sender)}/{options["handle_token"]}'
    GLib.timeout_add(20, lambda: _emit(mock, path, REQUEST_IFACE, 'Response', 'ua{sv}',
                                       [dbus.UInt32(response), dbus.Dictionary(results, 'sv')])
                     and False)
    return dbus.ObjectPath(path)


def _new_session(mock, sender, options, kind):
    path = f'{MAIN_OBJ}/session/{_sender_part(sender)}/{options["session_handle_token"]}'
    mock.sessions[path] = kind
    return path


def _new_token(mock):
    mock.token_count += 1
    mock.valid_token = f'token-{mock.token_count}'
    return mock.valid_token


def rd_create_session(self, options, sender=None):
    path = _new_session(self, sender, options, 'remote')
    return _respond(self, sender, options, 0, {'session_handle': path})


def rd_select_devices(self, session, options, sender=None):
    self.offered_token = str(options.get('restore_token', ''))
    self.persist_mode = int(options.get('persist_mode', 0))
    return _respond(self, sender, options, 0 if options.get('types') == 1 else 2, {})


def rd_start(self, session, parent, options, sender=None):
    token = self.offered_token
    if token and token != self.valid_token:
        # Each token works once; an old one is refused.
        self.stale_tokens += 1
        return _respond(self, sender, options, 2, {})
    if not token:
        self.dialogs += 1
        if self.consent != 'grant':
            return _respond(self, sender, options, 1, {})
    return _respond(self, sender, options, 0,
                    {'devices': dbus.UInt32(1), 'restore_token': _new_token(self)})


def rd_keysym(self, session, options, keysym, state, ok, error):
    if self.sessions.get(session) != 'remote':
        error(dbus.exceptions.DBusException('No such session',
                                            name='org.freedesktop.DBus.Error.AccessDenied'))
        return
    self.in_flight += 1
    self.max_in_flight = max(self.max_in_flight, self.in_flight)
    self.keys += [int(keysym), int(state)]

    def reply():
        self.in_flight -= 1
        ok()
        return False
    GLib.timeout_add(self.key_delay_ms, reply)


def gs_create_session(self, options, sender=None):
    path = _new_session(self, sender, options, 'shortcuts')
    self.created_shortcuts = [str(s[0]) for s in options.get('shortcuts', [])]
    return _respond(self, sender, options, 0 if self.consent == 'grant' else 1,
                    {'session_handle': path})


def gs_bind(self, session, shortcuts, parent, options, sender=None):
    self.bound_shortcuts = [str(s[0]) for s in shortcuts]
    return _respond(self, sender, options, 0, {'shortcuts': shortcuts})


def control_set(self, name, value):
    setattr(self, str(name), value)


def control_get(self, name):
    value = getattr(self, str(name))
    if isinstance(value, list):
        return dbus.Array(value, signature='i' if name == 'keys' else 's')
    return value


def control_close_sessions(self, kind):
    for path in [p for p, k in self.sessions.items() if k == kind]:
        del self.sessions[path]
        _emit(self, path, SESSION_IFACE, 'Closed', 'a{sv}', [dbus.Dictionary({}, 'sv')])


def _shortcut_signal(self, name):
    for path in [p for p, k in self.sessions.items() if k == 'shortcuts']:
        _emit(self, MAIN_OBJ, SHORTCUTS_IFACE, name, 'osta{sv}',
              [dbus.ObjectPath(path), 'start-stop-transfer', dbus.UInt64(int(time.time() * 1000)),
               dbus.Dictionary({}, 'sv')])


def control_press(self):
    _shortcut_signal(self, 'Activated')


def control_release(self):
    _shortcut_signal(self, 'Deactivated')


def _add(mock, iface, name, in_sig, out_sig, function, **keywords):
    method = dbus.service.method(iface, in_signature=in_sig, out_signature=out_sig,
                                 **keywords)(function)
    mock.methods.setdefault(iface, {})[name] = (in_sig, out_sig, '', method)


def load(mock, parameters):
    mock.AddProperties(MAIN_IFACE, {'version': dbus.UInt32(parameters.get('version', 2)),
                                    'AvailableDeviceTypes': dbus.UInt32(7)})
    mock.AddProperties(SHORTCUTS_IFACE, {'version': dbus.UInt32(1)})
    mock.sessions = {}
    mock.consent = 'grant'
    mock.key_delay_ms = 0
    mock.keys = []
    mock.in_flight = 0
    mock.max_in_flight = 0
    mock.dialogs = 0
    mock.token_count = 0
    mock.valid_token = ''
    mock.offered_token = ''
    mock.stale_tokens = 0
    mock.persist_mode = 0
    mock.created_shortcuts = []
    mock.bound_shortcuts = []
    sender = {'sender_keyword': 'sender'}
    _add(mock, MAIN_IFACE, 'CreateSession', 'a{sv}', 'o', rd_create_session, **sender)
    _add(mock, MAIN_IFACE, 'SelectDevices', 'oa{sv}', 'o', rd_select_devices, **sender)
    _add(mock, MAIN_IFACE, 'Start', 'osa{sv}', 'o', rd_start, **sender)
    _add(mock, MAIN_IFACE, 'NotifyKeyboardKeysym', 'oa{sv}iu', '', rd_keysym,
         async_callbacks=('ok', 'error'))
    _add(mock, SHORTCUTS_IFACE, 'CreateSession', 'a{sv}', 'o', gs_create_session, **sender)
    _add(mock, SHORTCUTS_IFACE, 'BindShortcuts', 'oa(sa{sv})sa{sv}', 'o', gs_bind, **sender)
    _add(mock, CONTROL_IFACE, 'Set', 'sv', '', control_set)
    _add(mock, CONTROL_IFACE, 'Get', 's', 'v', control_get)
    _add(mock, CONTROL_IFACE, 'CloseSessions', 's', '', control_close_sessions)
    _add(mock, CONTROL_IFACE, 'Press', '', '', control_press)
    _add(mock, CONTROL_IFACE, 'Release', '', '', control_release)
