#!/usr/bin/python3
# atspi_listen.py OUT: listens to the accessibility bus as a screen reader does and writes, one line
# each, what Orca reads of the caller's window while the focus is elsewhere: every object of the
# notification role that starts showing ("notifica NAME"), the event Orca's default script speaks
# (onShowingChanged). Also, for the record, each change of an accessible name in the program with
# what the event itself carried ("nome NAME | ANY_DATA"). "pronto" once listening; flushed per line.
import sys

import pyatspi

out = open(sys.argv[1], "w", buffering=1)


def heard(event):
    try:
        app = event.source.getApplication()
        if app is None or app.name.lower() != "tombola":
            return
        if event.type.startswith("object:state-changed:showing"):
            if event.detail1 == 1 and event.source.getRole() == pyatspi.ROLE_NOTIFICATION:
                out.write("notifica %s\n" % event.source.name)
        elif event.source.getRole() == pyatspi.ROLE_NOTIFICATION:
            out.write("nome %s | %s\n" % (event.source.name, type(event.any_data).__name__))
    except Exception as e:  # an object gone while its event travelled
        out.write("errore %s\n" % e)


pyatspi.Registry.registerEventListener(heard, "object:state-changed:showing",
                                       "object:property-change:accessible-name")
out.write("pronto\n")
pyatspi.Registry.start()
