"""A tray host's registry, as plasmashell keeps it: the items that registered, and a host."""
import dbus

BUS_NAME = "org.kde.StatusNotifierWatcher"
MAIN_OBJ = "/StatusNotifierWatcher"
MAIN_IFACE = "org.kde.StatusNotifierWatcher"
SYSTEM_BUS = False


def load(mock, parameters):
    mock.AddProperties(MAIN_IFACE, {
        "RegisteredStatusNotifierItems": dbus.Array([], signature="s"),
        "IsStatusNotifierHostRegistered": True,
        "ProtocolVersion": dbus.Int32(0),
    })
    mock.AddMethod(MAIN_IFACE, "RegisterStatusNotifierItem", "s", "",
                   "self.Set('%s', 'RegisteredStatusNotifierItems', "
                   "self.Get('%s', 'RegisteredStatusNotifierItems') + [args[0]])" % (MAIN_IFACE, MAIN_IFACE))
