#!/usr/bin/python3
"""The virtual chair against bleak, a BlueZ client library written against real bluetoothd.

Runs on the bus named by DBUS_SYSTEM_BUS_ADDRESS, with the virtual chair already owning
org.bluez (see bleak-run). Each case prints one line; the last line counts them. With
--no-gatt-cache the chair plays BlueZ's Cache = no.
"""
import asyncio
import sys

from bleak import BleakClient, BleakScanner
from dbus_fast import BusType, Message, MessageType, Variant
from dbus_fast.aio import MessageBus

CHAIR = "C0:FF:EE:00:00:01"
NAME = "Velnora Pro 0001"
SERVICES = {
    "730c0001-7ec9-4dd5-ba24-44a04e14cf08", "73e80001-24f7-464d-8de7-3b1e1bfb5dfa",
    "0000180a-0000-1000-8000-00805f9b34fb", "1b25ee00-dadf-11eb-8d19-0242ac130003",
    "d0274711-aefa-42c3-93f1-535a09812c37", "7f1a0001-252d-4f8b-baea-6bfc6b255ab6",
}
FIRMWARE_REVISION = "00002a26-0000-1000-8000-00805f9b34fb"
SERIAL_NUMBER = "7f1a0003-252d-4f8b-baea-6bfc6b255ab6"
CHAIR_TOGGLE = "730c0006-7ec9-4dd5-ba24-44a04e14cf08"
CHAIR_STATE = "730c0009-7ec9-4dd5-ba24-44a04e14cf08"
DISCONNECTS = 5
ADAPTER_PATH = "/org/bluez/hci0"
DEVICE_PATH = ADAPTER_PATH + "/dev_" + CHAIR.replace(":", "_")
DEVICE = "org.bluez.Device1"
PROPERTIES = "org.freedesktop.DBus.Properties"
WATCHED = ("Connected", "ServicesResolved", "Powered", "Discovering", "Value")


class Control:
    """The chair's control interface, for what a radio would do and what the chair holds."""

    def __init__(self, bus):
        self.bus = bus

    async def call(self, member, signature, body):
        reply = await self.bus.call(Message(
            destination="org.bluez", path="/app/velnora/VirtualChair",
            interface="app.velnora.VirtualChair1", member=member,
            signature=signature, body=body))
        if reply.message_type == MessageType.ERROR:
            raise RuntimeError(f"{member}: {reply.error_name} {reply.body}")
        return reply.body

    async def characteristic_path(self, uuid):
        reply = await self.bus.call(Message(
            destination="org.bluez", path="/", member="GetManagedObjects",
            interface="org.freedesktop.DBus.ObjectManager"))
        for path, interfaces in reply.body[0].items():
            characteristic = interfaces.get("org.bluez.GattCharacteristic1", {})
            if path.startswith(DEVICE_PATH) and "UUID" in characteristic \
                    and characteristic["UUID"].value == uuid:
                return path
        raise AssertionError(f"no characteristic {uuid}")

    async def gatt_services(self):
        """Paths of the chair's GATT services BlueZ exports now."""
        reply = await self.bus.call(Message(
            destination="org.bluez", path="/", member="GetManagedObjects",
            interface="org.freedesktop.DBus.ObjectManager"))
        return sorted(path for path, interfaces in reply.body[0].items()
                      if path.startswith(DEVICE_PATH + "/")
                      and "org.bluez.GattService1" in interfaces)

    async def read_value(self, path):
        return await self.bus.call(Message(
            destination="org.bluez", path=path, member="ReadValue",
            interface="org.bluez.GattCharacteristic1", signature="a{sv}", body=[{}]))

    async def observe(self, steps):
        """Makes BlueZ calls in turn, each once the signal it names has come; returns what a
        client saw meanwhile, in arrival order, and how long each call took."""
        seen, calls, took = [], {}, {}

        def watch(message):
            if message.message_type == MessageType.SIGNAL and message.member == "PropertiesChanged":
                changed = message.body[1]
                seen.extend(key if key == "Value" else f"{key}={changed[key].value}"
                            for key in WATCHED if key in changed)
            elif message.reply_serial in calls:
                seen.append(f"{calls[message.reply_serial]} answered")

        await self.bus.call(Message(
            destination="org.freedesktop.DBus", path="/org/freedesktop/DBus",
            interface="org.freedesktop.DBus", member="AddMatch", signature="s",
            body=["type='signal',sender='org.bluez',member='PropertiesChanged'"]))
        self.bus.add_message_handler(watch)
        loop = asyncio.get_running_loop()
        try:
            for after, path, interface, member, signature, body in steps:
                while after and after not in seen:
                    await asyncio.sleep(0.05)
                if callable(path):
                    path = await path()
                message = Message(destination="org.bluez", path=path, interface=interface,
                                  member=member, signature=signature, body=body)
                message.serial = self.bus.next_serial()
                calls[message.serial] = member
                started = loop.time()
                reply = await self.bus.call(message)
                assert reply.message_type == MessageType.METHOD_RETURN, (member, reply.body)
                took[member] = loop.time() - started
            await asyncio.sleep(0.3)
        finally:
            self.bus.remove_message_handler(watch)
        return seen, took

    async def state(self):
        (state,) = await self.call("State", "s", [CHAIR])
        return {key: variant.value for key, variant in state.items()}


class Suite:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    async def case(self, name, body):
        try:
            await asyncio.wait_for(body(), 40)
        except Exception as error:  # every failure is reported, then the suite goes on
            self.failed += 1
            print(f"FAIL {name}: {type(error).__name__}: {error}", flush=True)
        else:
            self.passed += 1
            print(f"PASS {name}", flush=True)


async def main(cached):
    control = Control(await MessageBus(bus_type=BusType.SYSTEM).connect())
    suite = Suite()
    found = {}
    gone = asyncio.Event()

    async def scan():
        device = await BleakScanner.find_device_by_name(NAME, timeout=10)
        assert device is not None, "not found"
        assert device.address == CHAIR, device.address
        found["device"] = device

    await suite.case("scan finds the chair by name", scan)
    if "device" not in found:
        print(f"{suite.passed} passed, {suite.failed + 1} failed")
        return 1
    client = BleakClient(found["device"], disconnected_callback=lambda _: gone.set())

    async def connect():
        gone.clear()
        await client.connect(timeout=20)
        assert client.is_connected
        assert (await control.state())["connected"]

    async def services():
        listed = {service.uuid for service in client.services}
        assert SERVICES <= listed, f"missing {SERVICES - listed}"

    async def read():
        assert bytes(await client.read_gatt_char(FIRMWARE_REVISION)) == b"2.4.1"
        assert bytes(await client.read_gatt_char(SERIAL_NUMBER)) == b"VP-2026-0001"

    async def notify_and_write():
        values = asyncio.Queue()
        await client.start_notify(CHAIR_STATE, lambda _, data: values.put_nowait(bytes(data)))
        before = (await control.state())["leftLegUp"]
        await client.write_gatt_char(CHAIR_TOGGLE, b"\x00", response=True)
        value = await asyncio.wait_for(values.get(), 5)
        # Leg byte 0x00 means up: the notification says the left leg moved.
        assert (value[0] == 0) != before, value.hex()
        assert (await control.state())["leftLegUp"] != before
        await client.stop_notify(CHAIR_STATE)

    async def disconnect():
        await client.disconnect()
        assert not client.is_connected
        await asyncio.wait_for(gone.wait(), 5)
        assert not (await control.state())["connected"]

    async def disconnect_repeatedly():
        for attempt in range(1, DISCONNECTS + 1):
            if not client.is_connected:
                await connect()
            try:
                await disconnect()
            except Exception as error:
                raise AssertionError(f"attempt {attempt}: {type(error).__name__}: {error}")

    async def reconnect_with_gatt_objects_as_cached():
        await connect()
        await services()
        while_connected = await control.gatt_services()
        assert len(while_connected) == len(SERVICES), while_connected
        characteristic = client.services.get_characteristic(SERIAL_NUMBER).path
        await disconnect()
        kept = await control.gatt_services()
        if cached:
            # Cache = always: the same objects stay, and without a link BlueZ cannot read.
            assert kept == while_connected, kept
            reply = await control.read_value(characteristic)
            assert reply.message_type == MessageType.ERROR, reply.body
            assert (reply.error_name, reply.body) == ("org.bluez.Error.Failed",
                                                      ["Not connected"]), reply.body
        else:
            assert kept == [], kept
        await connect()
        assert await control.gatt_services() == while_connected
        await read()

    async def link_drop():
        gone.clear()
        await control.call("DropLink", "s", [CHAIR])
        await asyncio.wait_for(gone.wait(), 5)
        assert not client.is_connected

    async def order_around_connect_and_disconnect():
        async def serial_number():
            return await control.characteristic_path(SERIAL_NUMBER)
        seen, took = await control.observe([
            (None, DEVICE_PATH, DEVICE, "Connect", "", []),
            ("ServicesResolved=True", serial_number, "org.bluez.GattCharacteristic1",
             "ReadValue", "a{sv}", [{}]),
            ("ReadValue answered", DEVICE_PATH, DEVICE, "Disconnect", "", []),
        ])
        # A read announces the value it stored before it is answered.
        assert seen == ["Connected=True", "Connect answered", "ServicesResolved=True",
                        "Value", "ReadValue answered",
                        "ServicesResolved=False", "Disconnect answered", "Connected=False"], seen
        # The link goes down with bluetoothd's disconnect timer, not at once.
        assert 1.5 < took["Disconnect"] < 3, took

    async def order_around_discovery_and_adapter_power():
        def powered(on):
            return [ADAPTER_PATH, PROPERTIES, "Set", "ssv",
                    ["org.bluez.Adapter1", "Powered", Variant("b", on)]]
        seen, _ = await control.observe([
            (None, ADAPTER_PATH, "org.bluez.Adapter1", "StartDiscovery", "", []),
            ("Discovering=True", DEVICE_PATH, DEVICE, "Connect", "", []),
            ("ServicesResolved=True", *powered(False)),
            ("Powered=False", *powered(True)),
        ])
        assert seen == ["StartDiscovery answered", "Discovering=True",
                        "Connected=True", "Connect answered", "ServicesResolved=True",
                        "ServicesResolved=False", "Connected=False", "Set answered",
                        "Powered=False", "Discovering=False",
                        "Set answered", "Powered=True"], seen

    await suite.case("connect", connect)
    await suite.case("services listed", services)
    await suite.case("read device information", read)
    await suite.case("write with response, confirmed by a notification", notify_and_write)
    await suite.case(f"disconnect, {DISCONNECTS} times in a row", disconnect_repeatedly)
    await suite.case("reconnect; GATT objects across a disconnect "
                     + ("stay (Cache = always)" if cached else "go (Cache = no)"),
                     reconnect_with_gatt_objects_as_cached)
    await suite.case("link drop calls the disconnected callback", link_drop)
    await suite.case("order of answers and signals around Connect, a read and Disconnect",
                     order_around_connect_and_disconnect)
    await suite.case("order of answers and signals around discovery and adapter power",
                     order_around_discovery_and_adapter_power)
    print(f"{suite.passed} passed, {suite.failed} failed", flush=True)
    return 0 if suite.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(asyncio.run(main(cached="--no-gatt-cache" not in sys.argv[1:])))
