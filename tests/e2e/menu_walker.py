#!/usr/bin/python3
# The accessibility side of the menu walk: reads one command per line from a FIFO, answers one JSON
# line per command on another. It finds a client by its process id on the accessibility bus and
# lists or presses the menu items, tool-bar buttons and pop-up items of its main window, as a
# screen reader would.
#
#   list PID            items of the main window: [{"id", "name", "enabled", "checkable", "checked"}]
#   buttons PID         the shown push buttons, tool buttons and check boxes of the main window and
#                       its panels outside the menus and tool bars, disabled ones included, with
#                       where they are: [{"id", "name", "enabled", "checkable", "checked", "x", ...}]
#   popups PID          items of the pop-up menus the client shows now
#   do ID               presses the item listed under ID
#   state ID            the item's enabled and checked state now
#   find PID TEXT       the accessibles named TEXT in any window of the client: [{"role", "x", "y", "w", "h"}]
#   press PID TEXT      presses the first button or item named TEXT in any window of the client
#   dump PID            the client's whole tree, one line per accessible (for reports)
#   roles PID ROLE      the shown accessibles of that role in the main window: [{"name", "x", "y", "w", "h"}]
#   watch               starts noting which item gets the focus
#   caught PID NAME     the items of the pop-up menu whose item took the focus since "watch", listed
#                       under popup:NAME/ (a shown context menu is no part of the tree: the focus
#                       event of its current item is the way to it)
#   quit

import json
import sys
import time

import pyatspi
from gi.repository import GLib

ITEM_ROLES = {pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_CHECK_MENU_ITEM, pyatspi.ROLE_RADIO_MENU_ITEM}
BUTTON_ROLES = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX,
                pyatspi.ROLE_RADIO_BUTTON}
MAIN_TITLE = " in a virtual session"

known = {}


def children(acc):
    try:
        return [c for c in acc if c is not None]
    except Exception:
        return []


def states(acc):
    try:
        return acc.getState()
    except Exception:
        return None


def shown(acc):
    s = states(acc)
    return s is not None and s.contains(pyatspi.STATE_VISIBLE)


def enabled(acc):
    s = states(acc)
    return s is not None and s.contains(pyatspi.STATE_ENABLED) and s.contains(pyatspi.STATE_SENSITIVE)


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in children(desktop):
        try:
            if app.get_process_id() == pid:
                return app
        except Exception:
            pass
    return None


def main_frame(app):
    for w in children(app):
        if MAIN_TITLE in (w.name or ""):
            return w
    return None


def describe(acc, ident):
    s = states(acc)
    known[ident] = acc
    return {"id": ident, "name": acc.name or "", "role": acc.getRoleName(),
            "enabled": enabled(acc),
            "checkable": bool(s and s.contains(pyatspi.STATE_CHECKABLE)),
            "checked": bool(s and s.contains(pyatspi.STATE_CHECKED))}


def action_index(acc, wanted):
    try:
        action = acc.queryAction()
    except NotImplementedError:
        return None
    for i in range(action.nActions):
        if action.getName(i).lower().replace(" ", "") in wanted:
            return action, i
    return None


def show_menu(item, on):
    """Opens or closes the pop-up of a menu item: a closed menu reports every item as invisible."""
    found = action_index(item, ("showmenu",))
    if not found:
        return
    popup = next((c for c in children(item) if c.getRole() in (pyatspi.ROLE_MENU, pyatspi.ROLE_POPUP_MENU)), None)
    is_open = popup is not None and shown(popup)
    if is_open != on:
        found[0].doAction(found[1])
        for _ in range(40):
            if popup is None or shown(popup) == on:
                break
            time.sleep(0.025)


def walk_menu(menu, prefix, out, opened=True):
    for child in children(menu):
        role = child.getRole()
        if role == pyatspi.ROLE_SEPARATOR or (opened and not shown(child)):
            continue
        name = child.name or ""
        if role == pyatspi.ROLE_MENU or (role in ITEM_ROLES and child.childCount > 0):
            if opened:
                show_menu(child, True)
            for sub in children(child):
                walk_menu(sub, prefix + name + "/", out, opened and shown(sub))
            if opened:
                show_menu(child, False)
        elif role in ITEM_ROLES:
            out.append(describe(child, prefix + name))


def walk_window(acc, out, path, depth=0):
    if depth > 40:
        return
    role = acc.getRole()
    if role == pyatspi.ROLE_MENU_BAR:
        for menu in children(acc):
            if shown(menu):
                show_menu(menu, True)
                for popup in children(menu):
                    walk_menu(popup, "menu:" + (menu.name or "") + "/", out, shown(popup))
                show_menu(menu, False)
        return
    if role == pyatspi.ROLE_TOOL_BAR:
        if not shown(acc):
            return
        bar = "tool:" + (acc.name or path) + "/"
        for i, b in enumerate(children(acc)):
            if b.getRole() in BUTTON_ROLES and shown(b):
                name = b.name or ("#" + str(i))
                out.append(describe(b, bar + name))
                for m in children(b):
                    if m.getRole() in (pyatspi.ROLE_MENU, pyatspi.ROLE_POPUP_MENU):
                        walk_menu(m, bar + name + "/", out, False)
        return
    if role in BUTTON_ROLES:
        for m in children(acc):
            if m.getRole() in (pyatspi.ROLE_MENU, pyatspi.ROLE_POPUP_MENU):
                walk_menu(m, "button:" + (acc.name or path) + "/", out, False)
        return
    for i, c in enumerate(children(acc)):
        if shown(c):
            walk_window(c, out, path + "." + str(i), depth + 1)


def walk_buttons(acc, out, path, depth=0):
    if depth > 40:
        return
    role = acc.getRole()
    if role in (pyatspi.ROLE_MENU_BAR, pyatspi.ROLE_TOOL_BAR, pyatspi.ROLE_MENU, pyatspi.ROLE_POPUP_MENU):
        return
    if role in BUTTON_ROLES:
        base = "panel:" + (acc.name or path)
        ident, n = base, 2
        while any(o["id"] == ident for o in out):
            ident, n = base + "#" + str(n), n + 1
        item = describe(acc, ident)
        item.update(extents(acc))
        out.append(item)
        return
    for i, c in enumerate(children(acc)):
        if shown(c):
            walk_buttons(c, out, path + "." + str(i), depth + 1)


focused = []
watching = False


def on_focus(event):
    if event.detail1:
        focused.append(event.source)


def caught(pid, name):
    deadline = time.time() + 0.8
    ctx = GLib.MainContext.default()
    while time.time() < deadline:
        while ctx.iteration(False):
            pass
        for acc in focused:
            try:
                if acc.getRole() not in ITEM_ROLES and acc.getRole() != pyatspi.ROLE_MENU:
                    continue
                if acc.getApplication().get_process_id() != pid:
                    continue
                menu = acc.parent
            except Exception:
                continue
            if menu is not None:
                out = []
                walk_menu(menu, "popup:" + name + "/", out)
                return out
        time.sleep(0.02)
    return []


def roles(frame, role, out, depth=0):
    if depth > 40:
        return
    for c in children(frame):
        if not shown(c):
            continue
        if c.getRoleName() == role:
            out.append(dict(name=c.name or "", **extents(c)))
        roles(c, role, out, depth + 1)


def popups(app):
    out = []
    for w in children(app):
        for c in [w] + children(w):
            if c.getRole() in (pyatspi.ROLE_POPUP_MENU, pyatspi.ROLE_MENU) and shown(c):
                walk_menu(c, "popup:" + (c.name or w.name or "") + "/", out)
    return out


def press(acc):
    action = acc.queryAction()
    names = [action.getName(i).lower() for i in range(action.nActions)]
    for wanted in ("press", "click", "toggle", "activate"):
        if wanted in names:
            return action.doAction(names.index(wanted))
    return action.doAction(0) if names else False


def find(app, text, out, depth=0):
    if depth > 60:
        return
    for c in children(app):
        if (c.name or "") == text and shown(c):
            out.append(c)
        find(c, text, out, depth + 1)


def extents(acc):
    try:
        e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return {"x": e.x, "y": e.y, "w": e.width, "h": e.height}
    except Exception:
        return {"x": -1, "y": -1, "w": 0, "h": 0}


def handle(line):
    words = line.split(" ", 2)
    cmd = words[0]
    if cmd == "list":
        app = application(int(words[1]))
        frame = main_frame(app) if app else None
        if not frame:
            return {"error": "no main window"}
        known.clear()
        out = []
        walk_window(frame, out, "")
        return out
    if cmd == "buttons":
        app = application(int(words[1]))
        frame = main_frame(app) if app else None
        if not frame:
            return {"error": "no main window"}
        out = []
        walk_buttons(frame, out, "")
        return out
    if cmd == "dump":
        app = application(int(words[1]))
        lines = []

        def dump(acc, depth):
            if depth > 12:
                return
            s = states(acc)
            lines.append("  " * depth + acc.getRoleName() + " '" + (acc.name or "") + "' " +
                         ",".join(pyatspi.stateToString(x) for x in (s.getStates() if s else [])))
            for c in children(acc):
                dump(c, depth + 1)
        if app:
            dump(app, 0)
        return lines
    if cmd == "watch":
        global watching
        if not watching:
            pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")
            watching = True
        ctx = GLib.MainContext.default()
        while ctx.iteration(False):
            pass
        focused.clear()
        return {"ok": True}
    if cmd == "caught":
        return caught(int(words[1]), words[2] if len(words) > 2 else "")
    if cmd == "roles":
        app = application(int(words[1]))
        frame = main_frame(app) if app else None
        out = []
        if frame:
            roles(frame, words[2], out)
        return out
    if cmd == "popups":
        app = application(int(words[1]))
        return popups(app) if app else []
    if cmd == "do":
        acc = known.get(line[3:])
        if acc is None:
            return {"error": "unknown item"}
        try:
            return {"ok": bool(press(acc))}
        except Exception as e:
            # A command that runs a modal dialog answers only when the dialog closes; the press
            # has been delivered, and the test watches for its effect.
            return {"ok": True, "pending": repr(e)}
    if cmd == "state":
        acc = known.get(line[6:])
        if acc is None:
            return {"error": "unknown item"}
        return describe(acc, line[6:])
    if cmd in ("find", "press"):
        app = application(int(words[1]))
        found = []
        if app:
            find(app, words[2], found)
        if cmd == "find":
            return [dict(role=a.getRoleName(), **extents(a)) for a in found]
        for a in found:
            try:
                if a.queryAction().nActions > 0:
                    return {"ok": bool(press(a))}
            except NotImplementedError:
                pass
        return {"error": "nothing to press"}
    return {"error": "unknown command"}


def main():
    commands = open(sys.argv[1], "r")
    replies = open(sys.argv[2], "w")
    for line in commands:
        line = line.rstrip("\n")
        if line == "quit":
            break
        try:
            reply = handle(line)
        except Exception as e:  # the test reads the reason
            reply = {"error": repr(e)}
        replies.write(json.dumps(reply) + "\n")
        replies.flush()


if __name__ == "__main__":
    main()
