"""A stand-in of UDisks2 for python3-dbusmock: the drives and blocks the
parameters list, Filesystem.Mount/Unmount and Drive.PowerOff, and a busy disk.

Parameters (JSON): {"disks": [{"name": "sdb", "vendor": "CASIO",
"model": "ColorGraph", "mounted": "/media/x" or "", "mount_to": "/media/x",
"filesystem": true}], "busy": false, "refuse_mount": false}
"""

import dbus

BUS_NAME = 'org.freedesktop.UDisks2'
MAIN_OBJ = '/org/freedesktop/UDisks2/Manager'
MAIN_IFACE = 'org.freedesktop.UDisks2.Manager'
SYSTEM_BUS = True

BLOCK = 'org.freedesktop.UDisks2.Block'
DRIVE = 'org.freedesktop.UDisks2.Drive'
FILESYSTEM = 'org.freedesktop.UDisks2.Filesystem'


def points(path):
    if not path:
        return dbus.Array([], signature='ay')
    return dbus.Array([dbus.ByteArray(path.encode() + b'\0')], signature='ay')


def load(mock, parameters):
    blocks = []
    for disk in parameters.get('disks', []):
        name = disk['name']
        drive = '/org/freedesktop/UDisks2/drives/' + name
        block = '/org/freedesktop/UDisks2/block_devices/' + name
        busy = ("raise dbus.exceptions.DBusException('Target is busy', "
                "name='org.freedesktop.UDisks2.Error.DeviceBusy')\n"
                if parameters.get('busy') else '')
        mock.AddObject(drive, DRIVE, {
            'Vendor': dbus.String(disk.get('vendor', '')),
            'Model': dbus.String(disk.get('model', '')),
        }, [('PowerOff', 'a{sv}', '', '')])
        mock.AddObject(block, BLOCK, {
            'Drive': dbus.ObjectPath(disk.get('drive', drive)),
            'Device': dbus.ByteArray(('/dev/' + name).encode() + b'\0'),
            'Size': dbus.UInt64(16 * 1024 * 1024),
        }, [])
        if disk.get('filesystem', True):
            obj = dbusmock_objects()[block]
            obj.AddProperties(FILESYSTEM, {'MountPoints': points(disk.get('mounted', ''))})
            mount_to = disk.get('mount_to', '')
            refused = ("raise dbus.exceptions.DBusException('Not authorized', "
                       "name='org.freedesktop.UDisks2.Error.NotAuthorized')\n"
                       if parameters.get('refuse_mount') else '')
            obj.AddMethods(FILESYSTEM, [
                ('Mount', 'a{sv}', 's',
                 refused + "self.Set('%s', 'MountPoints', "
                 "dbus.Array([dbus.ByteArray(b'%s\\0')], signature='ay'))\nret = '%s'"
                 % (FILESYSTEM, mount_to, mount_to)),
                ('Unmount', 'a{sv}', '',
                 busy + "self.Set('%s', 'MountPoints', dbus.Array([], signature='ay'))"
                 % FILESYSTEM),
            ])
        blocks.append(block)
    mock.AddMethod(MAIN_IFACE, 'GetBlockDevices', 'a{sv}', 'ao',
                   'ret = [dbus.ObjectPath(p) for p in %r]' % blocks)


def dbusmock_objects():
    from dbusmock import mockobject
    return mockobject.objects
