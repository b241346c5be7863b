"""A screen-reader user's first session, through the accessibility bus alone: every step finds
its control by role and name and works it with the actions and keys an assistive tool uses.
Run by atspi-run, which provides the display, the buses and the environment."""
import subprocess
import sys
import tempfile
import time

import pyatspi

PROGRAM = sys.argv[1]
APP_NAME = "VelnoraDesktop"


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def step(message):
    print("- " + message, flush=True)


def states(acc):
    return {pyatspi.stateToString(s) for s in acc.getState().getStates()}


def walk(acc):
    try:
        if "showing" not in states(acc) and acc.getRole() != pyatspi.ROLE_APPLICATION:
            return
        yield acc
        for i in range(acc.childCount):
            child = acc.getChildAtIndex(i)
            if child is not None:
                yield from walk(child)
    except Exception:  # an object that went away while we looked
        return


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == APP_NAME:
            return app
    return None


def find(role, name, timeout=10.0):
    """The showing object of this role and name, waited for."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        app = application()
        if app is not None:
            for acc in walk(app):
                if acc.getRoleName() == role and acc.name == name:
                    return acc
        time.sleep(0.2)
    shown = []
    app = application()
    if app is not None:
        shown = ["%s %r" % (a.getRoleName(), a.name) for a in walk(app)]
    fail("no %s named %r; showing: %s" % (role, name, "; ".join(shown)))


def wait_for(predicate, what, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.1)
    fail(what)


def act(acc, action):
    actions = acc.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    if action not in names:
        fail("%s %r offers no %s action (%s)" % (acc.getRoleName(), acc.name, action, names))
    if not actions.doAction(names.index(action)):
        fail("%s %r refused %s" % (acc.getRoleName(), acc.name, action))


def type_into(acc, text):
    act(acc, "SetFocus")
    wait_for(lambda: "focused" in states(acc), "%r never took the focus" % acc.name)
    # With no window manager the keyboard follows the pointer: rest it on the field.
    x, y, width, height = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + width // 2, y + height // 2, "abs")
    pyatspi.Registry.generateKeyboardEvent(0, text, pyatspi.KEY_STRING)


def field_text(acc):
    text = acc.queryText()
    return text.getText(0, text.characterCount)


def main():
    with tempfile.TemporaryFile(mode="w+") as output:
        program = subprocess.Popen([PROGRAM], stdout=output, stderr=subprocess.STDOUT)
        try:
            walkthrough()
        except SystemExit:
            output.seek(0)
            print("program output:\n" + output.read(), flush=True)
            raise
        finally:
            program.terminate()
            try:
                program.wait(timeout=5)
            except subprocess.TimeoutExpired:
                program.kill()
    print("PASS", flush=True)


def walkthrough():
    step("terms: type the e-mail address and accept")
    email = find("text", "Email address", timeout=30)
    find("heading", "VELNORA SOFTWARE TERMS OF SERVICE")
    type_into(email, "sam@example.com")
    wait_for(lambda: field_text(email) == "sam@example.com", "the address never reached the field")
    act(find("push button", "Accept & Continue"), "Press")

    step("no Bluetooth here: try without a chair")
    find("heading", "Bluetooth Unavailable")
    act(find("push button", "Try without a chair"), "Press")

    step("WiFi setup: choose a network, type its password, join")
    find("heading", "WiFi Setup")
    connect = find("push button", "Connect to WiFi")
    network = find("radio button", "Office_5G")
    if "checked" in states(network):
        fail("a network was chosen before the user chose one")
    act(network, "Press")
    wait_for(lambda: "checked" in states(network), "the chosen network never read as checked")
    password = find("password text", 'Password for "Office_5G"')
    type_into(password, "velnora-wifi")
    wait_for(lambda: len(field_text(password)) == len("velnora-wifi"), "the password never arrived")
    if "velnora" in field_text(password):
        fail("the password field hands its text to the accessibility bus")
    act(connect, "Press")
    find("heading", "Configuring WiFi…")

    step("controls: switch automatic mode on, pick a pattern, move a leg")
    auto_mode = find("check box", "Auto Mode", timeout=15)
    if "checked" in states(auto_mode):
        fail("automatic mode reads as on before it was switched on")
    act(auto_mode, "Toggle")
    wait_for(lambda: "checked" in states(auto_mode), "automatic mode never read as on")
    find("status bar", "5:00")
    round_trip = find("radio button", "Round Trip")
    act(round_trip, "Press")
    wait_for(lambda: "checked" in states(round_trip), "the chosen pattern never read as checked")
    if "checked" in states(find("radio button", "Sit to Stand")):
        fail("two patterns read as chosen")
    find("label", "Try them all: Sit, stilta, stand...and repeat!")
    act(find("push button", "Left, Up"), "Press")
    find("push button", "Left, Down")

    step("settings: read the chair's serial number")
    settings = find("page tab", "Settings")
    act(settings, "Press")
    wait_for(lambda: "selected" in states(settings), "the Settings tab never read as selected")
    find("label", "Serial Number")
    find("label", "SIM-00001")


if __name__ == "__main__":
    main()
