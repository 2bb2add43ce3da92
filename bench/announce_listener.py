# SPDX-License-Identifier: GPL-3.0-or-later
# A stand-in for a screen reader: registers for every accessibility event on the session's
# bus and takes each one in, until it is ended. Prints "listening" once it is registered.
import pyatspi

received = 0


def on_event(event):
    global received
    received += 1


pyatspi.Registry.registerEventListener(on_event, "object", "window", "focus", "document")
print("listening", flush=True)
try:
    pyatspi.Registry.start()
except KeyboardInterrupt:
    pass
