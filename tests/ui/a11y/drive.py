"""Converts a report through the Converter window as a screen reader user would.

Run by run.sh inside a private session bus, accessibility bus, Xvfb and
openbox, with the current folder holding the report. Every control is found
by its role and accessible name and worked through the accessibility
interfaces (EditableText, Action), never by position or by synthesized clicks.
"""

import argparse
import os
import re
import sqlite3
import subprocess
import sys
import time
import unicodedata

try:
    import pyatspi
    from gi.repository import Atspi, GLib
except ImportError as e:  # run.sh checks first; this keeps a direct run honest
    sys.exit(f"pyatspi is missing ({e}): run scripts/setup.sh")

CONVERTED = "Converted"
RECORDS_WINDOW = "Zefto Records"
SHOW_RECORDS = "Show records"
# Generous: a sanitizer build on a busy two-core machine is many times slower.
START_TIMEOUT = 20
STEP_TIMEOUT = 15

ROLE = pyatspi
TEXT_ROLES = (ROLE.ROLE_TEXT, ROLE.ROLE_ENTRY)
LIST_ROLES = (ROLE.ROLE_LIST, ROLE.ROLE_LIST_BOX)
WINDOW_ROLES = (ROLE.ROLE_FRAME, ROLE.ROLE_WINDOW, ROLE.ROLE_FILLER, ROLE.ROLE_DIALOG)
BOX_ROLES = (ROLE.ROLE_ALERT, ROLE.ROLE_DIALOG)


class Stop(Exception):
    """A step the rest of the scenario cannot go on without failed."""


problems = []


def check(ok, message):
    if ok:
        print(f"ok: {message}")
    else:
        print(f"FAIL: {message}")
        problems.append(message)
    return ok


def require(ok, message):
    if not check(ok, message):
        raise Stop(message)


def wait_for(what, probe, timeout=STEP_TIMEOUT):
    """Polls probe until it returns something true; the program may be busy, so call errors are retried."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            found = probe()
            if found:
                return found
        except GLib.Error as e:
            last_error = e
        if time.monotonic() >= deadline:
            detail = f" (last error: {last_error.message})" if last_error else ""
            raise Stop(f"timed out after {timeout} s waiting for {what}{detail}")
        time.sleep(0.01)


def children(acc):
    out = []
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            out.append(child)
    return out


# A table's cells are no control; walking them costs a bus call each, thousands for the records.
CELL_HOLDERS = (ROLE.ROLE_TABLE, ROLE.ROLE_TREE_TABLE)


def descendants(acc):
    stack = [acc]
    while stack:
        node = stack.pop()
        yield node
        if node.getRole() not in CELL_HOLDERS:
            stack.extend(reversed(children(node)))


def states(acc):
    return set(acc.getState().getStates())


def find_all(root, roles, name):
    return [a for a in descendants(root) if a.getRole() in roles and a.name == name]


def find_one(root, roles, name):
    matches = find_all(root, roles, name)
    return matches[0] if len(matches) == 1 else None


def press(acc):
    """Runs the control's "Press" action, as a screen reader's activate command does."""
    action = acc.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    require("Press" in names, f"'{acc.name}' offers a Press action (it offers {names})")
    action.doAction(names.index("Press"))


def shot(shots, name):
    if not shots:
        return
    os.makedirs(shots, exist_ok=True)
    path = os.path.join(shots, f"{name}.png")
    subprocess.run(["import", "-window", "root", path], check=True, timeout=STEP_TIMEOUT)
    print(f"screenshot: {path}")


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    desktop.clearCache()
    for app in children(desktop):
        if app.get_process_id() == pid:
            # Fresh answers on every call: the test reads states the program changes.
            app.set_cache_mask(Atspi.Cache.NONE)
            return app
    return None


def boxes(app):
    """The message boxes on screen: top-level dialogs and alerts of the program."""
    app.clearCache()
    return [w for w in children(app) if w.getRole() in BOX_ROLES and pyatspi.STATE_SHOWING in states(w)]


def box_text(box):
    """What a screen reader reads of a box: its labels' text, top to bottom."""
    labels = [a.name for a in descendants(box) if a.getRole() == ROLE.ROLE_LABEL and a.name]
    return "\n".join(labels)


def one_box(app, what):
    found = wait_for(what, lambda: boxes(app))
    require(len(found) == 1, f"one message box is shown for {what} (found {len(found)})")
    return found[0]


def answer(app, box, button):
    """Presses a box's button and waits for that box, not just any, to close."""
    target = find_one(box, (ROLE.ROLE_PUSH_BUTTON,), button)
    require(target is not None, f"the box has one button {button!r}")
    path = box.path
    press(target)
    wait_for(f"the box to close after {button!r}", lambda: all(b.path != path for b in boxes(app)))


def settle(app, ok, cancel, after):
    """Waits for the window to take input again; a box shown instead is a failure, answered with OK."""
    wait_for(f"the window to take input again after {after}",
             lambda: boxes(app) or (enabled(ok) and enabled(cancel)))
    extra = boxes(app)
    if check(not extra, f"no box follows {after}"):
        return
    print("the box says:\n  " + box_text(extra[0]).replace("\n", "\n  "))
    answer(app, extra[0], "OK")
    wait_for(f"the window to take input again after {after}", lambda: enabled(ok) and enabled(cancel))


def enabled(acc):
    s = states(acc)
    return pyatspi.STATE_ENABLED in s and pyatspi.STATE_SENSITIVE in s


def facts(text):
    """The "Name: value" lines below the first line of a box."""
    out = {}
    for line in text.split("\n")[1:]:
        m = re.match(r"^(Report|Records stored|Database): (.+)$", line)
        if m:
            out.setdefault(m.group(1), m.group(2))
    return out


def same_file(shown, expected):
    """A path shown by the program names the expected file, absolute or relative to the program's folder."""
    try:
        return os.path.samefile(shown, expected)
    except OSError:
        return False


def rows(database):
    with sqlite3.connect(f"file:{database}?mode=ro", uri=True) as db:
        columns = [r[1] for r in db.execute("PRAGMA table_info(ovrekson)") if r[1] != "id"]
        quoted = ", ".join(f'"{c}"' for c in columns)
        return db.execute(f"SELECT {quoted} FROM ovrekson ORDER BY id").fetchall()


def logged_records(database):
    with sqlite3.connect(f"file:{database}?mode=ro", uri=True) as db:
        return db.execute("SELECT COALESCE(SUM(records), 0) FROM zefto_conversions WHERE undone_at IS NULL").fetchone()[0]


# The fields the records window's filter searches, by their column names in ovrekson.
FILTERED_COLUMNS = ("adi", "soyadi", "babaadi", "yada", "yparsel", "eada", "eparsel", "mahalle")


def fold(text):
    """Lowered, letter marks dropped, dotless i as i: the filter ignores case and Turkish letter marks."""
    decomposed = unicodedata.normalize("NFD", text)
    return "".join("i" if c == "ı" else c.lower() for c in decomposed if unicodedata.category(c) != "Mn")


def filter_case(database):
    """A surname with Turkish letters, typed as plain capitals, and how many records the filter should show.

    The count is worked out here from the database, not taken from the program: a record matches when
    any searched text field holds the typed text once both are folded."""
    with sqlite3.connect(f"file:{database}?mode=ro", uri=True) as db:
        present = {r[1].lower(): r[1] for r in db.execute("PRAGMA table_info(ovrekson)")}
        quoted = ", ".join(f'"{present[c]}"' for c in FILTERED_COLUMNS if c in present)
        records = db.execute(f"SELECT {quoted} FROM ovrekson").fetchall()
        surnames = sorted({r[0] for r in db.execute(f'SELECT "{present["soyadi"]}" FROM ovrekson')
                           if isinstance(r[0], str) and r[0].strip()})

    def matches(needle):
        return sum(1 for r in records if any(isinstance(v, str) and fold(needle) in fold(v) for v in r))

    cases = []
    for surname in surnames:
        typed = fold(surname.strip()).upper()
        count = matches(typed)
        # Marked letters make the folding matter; a subset makes the count tell filtering from showing all.
        if typed.isascii() and not surname.isascii() and 0 < count < len(records):
            cases.append((-count, typed))
    require(cases, "the converted records hold a surname with Turkish letters that only some records match")
    count, typed = min(cases)
    return typed, -count


def count_of(text, pattern):
    """The numbers in a count label, read with any thousands separator the locale uses."""
    m = re.fullmatch(pattern.replace("N", r"(\d{1,3}(?:[,.\u00a0\u202f' ]?\d{3})*)"), text or "")
    return tuple(int(re.sub(r"\D", "", g)) for g in m.groups()) if m else None


def readable(acc):
    """What a screen reader can read of a label: its text, else its name (Qt's text of a label), and its description."""
    try:
        said = [acc.queryText().getText(0, -1)]
    except NotImplementedError:
        said = []
    return said + [acc.name, acc.description]


def top_window(app, name):
    app.clearCache()
    return next((w for w in children(app) if w.getRole() in WINDOW_ROLES and w.name == name
                 and pyatspi.STATE_SHOWING in states(w)), None)


def records_window(app):
    """The records window with its controls, once they are all on the bus."""
    def probe():
        window = top_window(app, RECORDS_WINDOW)
        if window is None:
            return None
        # The count is the status bar's label beside "Searching…", whatever name it was given.
        bars = [a for a in descendants(window) if a.getRole() == ROLE.ROLE_STATUS_BAR]
        counts = [a for bar in bars for a in children(bar) if a.getRole() == ROLE.ROLE_LABEL and a.name != "Searching…"]
        controls = dict(
            count=counts[0] if len(counts) == 1 else None,
            table=find_one(window, (ROLE.ROLE_TABLE, ROLE.ROLE_TREE_TABLE), "Records"),
            conversions=find_one(window, LIST_ROLES, "Conversions"),
            filter=find_one(window, TEXT_ROLES, "Filter"),
            close=find_one(window, (ROLE.ROLE_PUSH_BUTTON,), "Close"),
        )
        return (window, controls) if all(v is not None for v in controls.values()) else None

    return wait_for(f"the window {RECORDS_WINDOW!r} with one count label in its status bar, table 'Records', list 'Conversions', "
                    "text box 'Filter' and button 'Close'", probe)


def searching(window):
    """Whether the window's "Searching…" note is shown: a filter's search has not reached the last record."""
    return any(pyatspi.STATE_SHOWING in states(a) for a in find_all(window, (ROLE.ROLE_LABEL,), "Searching…"))


def settle_records(window, controls, rows_expected, what):
    """Waits for the table to hold the rows expected with no search going on; a table that never does stops the run."""
    table = controls["table"].queryTable()
    try:
        wait_for(f"the table 'Records' to settle at {rows_expected} rows ({what})",
                 lambda: table.nRows == rows_expected and not searching(window))
    except Stop:
        pass
    require(table.nRows == rows_expected and not searching(window),
            f"the table 'Records' has {rows_expected} rows, its search done ({what}; it has {table.nRows})")


def check_count(controls, pattern, expected, what):
    said = readable(controls["count"])
    shown = pattern.replace("N", "{}").replace("?", "").format(*expected)
    check(any(count_of(text, pattern) == expected for text in said),
          f"the count a screen reader reads says {shown!r} ({what}; it reads {' / '.join(map(repr, said))}, "
          f"through {controls['count'].get_interfaces()})")


def close_records(app, window, controls, what, proc=None):
    """Presses "Close"; with `proc`, the window is its program's only one, so the program's exit shows it closed."""
    for name in ("Preview report…", "Export…", "Undo conversion…"):
        check(len(find_all(window, (ROLE.ROLE_PUSH_BUTTON,), name)) == 1, f"the records window has a button {name!r}")
    press(controls["close"])
    if proc is not None:
        code = exit_code(proc, "zefto --records", "'Close'")
        check(code == 0, f"zefto --records exits with 0 after 'Close' (it exited with {code})")
        return
    try:
        wait_for(f"the window {RECORDS_WINDOW!r} to close", lambda: top_window(app, RECORDS_WINDOW) is None)
    except Stop:
        pass
    require(top_window(app, RECORDS_WINDOW) is None, f"the window {RECORDS_WINDOW!r} closes after 'Close' ({what})")


def reference_conversion(convert, report, folder):
    """The same report converted by zefto-convert into a fresh database of its own."""
    os.makedirs(folder, exist_ok=True)
    database = os.path.join(folder, "reference.mdb")
    done = subprocess.run([convert, "--database", database, os.path.abspath(report)], cwd=folder,
                          capture_output=True, text=True, timeout=STEP_TIMEOUT)
    first = done.stdout.split("\n", 1)[0]
    require(done.returncode == 0 and first.endswith(f": {CONVERTED}"),
            f"zefto-convert says the report is {CONVERTED} (exit {done.returncode}, said {first!r})")
    return rows(database)


def scenario(args, proc):
    report = args.report
    database = os.path.abspath("ovrek1.mdb")
    reference = reference_conversion(args.convert, report, args.reference)
    require(len(reference) > 0, f"zefto-convert stored records of the report ({len(reference)})")

    app = wait_for("the program on the accessibility bus", lambda: application(proc.pid), START_TIMEOUT)
    window = wait_for("the window 'Converter' and its Ok button",
                      lambda: next((w for w in children(app) if w.getRole() in WINDOW_ROLES
                                    and w.name == "Converter" and find_one(w, (ROLE.ROLE_PUSH_BUTTON,), "Ok")),
                                   None), START_TIMEOUT)
    shot(args.shots, "1-window")

    text = find_one(window, TEXT_ROLES, "Report file")
    ok = find_one(window, (ROLE.ROLE_PUSH_BUTTON,), "Ok")
    cancel = find_one(window, (ROLE.ROLE_PUSH_BUTTON,), "Cancel")
    require(text is not None, "one text box 'Report file'")
    require(ok is not None, "one button 'Ok'")
    require(cancel is not None, "one button 'Cancel'")
    check(find_one(window, (ROLE.ROLE_PROGRESS_BAR,), "Progress") is not None, "one progress bar 'Progress'")
    check(find_one(window, LIST_ROLES, "Folders") is not None, "one list 'Folders'")
    files = find_one(window, LIST_ROLES, "Files")
    check(files is not None, "one list 'Files'")
    if files is not None:
        check(any(item.name == report for item in children(files)), f"the list 'Files' shows {report}")
    # Qt on Linux names a combo box by its current text; the name may come from a label it is labelled by.
    drives = [c for c in descendants(window) if c.getRole() == ROLE.ROLE_COMBO_BOX]
    labelled = [c for c in drives if c.name == "Drives" or any(
        r.getRelationType() == pyatspi.RELATION_LABELLED_BY and
        any(r.getTarget(i).name == "Drives" for i in range(r.getNTargets()))
        for r in c.getRelationSet())]
    check(len(labelled) == 1, f"one combo box a screen reader calls 'Drives' (combo boxes named {[c.name for c in drives]})")
    require(enabled(ok) and enabled(cancel), "Ok and Cancel are enabled before the first run")

    require(text.queryEditableText().setTextContents(report), "the text box takes the report's name")
    require(text.queryText().getText(0, -1) == report, f"the text box reads back {report!r}")
    shot(args.shots, "2-report-named")

    press(ok)
    box = one_box(app, "the end of the first run")
    shot(args.shots, "3-end-message")
    said = box_text(box)
    print("the box says:\n  " + said.replace("\n", "\n  "))
    lines = said.split("\n")
    check(lines[0] == CONVERTED, f"the first line is exactly {CONVERTED!r} (it is {lines[0]!r})")
    told = facts(said)
    check("Report" in told and same_file(told["Report"], report),
          f"a line 'Report: <path>' names the report (found {told.get('Report')!r})")
    check("Database" in told and same_file(told["Database"], database),
          f"a line 'Database: <path>' names {database} (found {told.get('Database')!r})")
    stored = told.get("Records stored")
    check(stored is not None and stored.isdigit(), f"a line 'Records stored: <N>' (found {stored!r})")
    default = find_one(box, (ROLE.ROLE_PUSH_BUTTON,), "OK")
    check(default is not None and pyatspi.STATE_IS_DEFAULT in states(default), "the box's OK is its default button")
    answer(app, box, SHOW_RECORDS)
    total = int(stored) if stored is not None and stored.isdigit() else len(rows(database))
    records, controls = records_window(app)
    shot(args.shots, "3b-records-window")
    settle_records(records, controls, total, "the conversion just made")
    check_count(controls, "N records?", (total,), "the conversion just made")
    logged = [i for i in children(controls["conversions"]) if i.name != "All records"]
    check(len(logged) == 1, f"the list 'Conversions' holds one conversion ({[i.name for i in logged]})")
    if logged:
        said = logged[0].name.split("\n")
        check(len(said) == 2 and report in said[0] and count_of(said[1], "N records?") == (total,),
              f"the conversion is listed by its report and its {total} records (it reads {logged[0].name!r})")
        check(pyatspi.STATE_SELECTED in states(logged[0]), "the window opens on that conversion, selected in the list")

    typed, matching = filter_case(database)
    require(controls["filter"].queryEditableText().setTextContents(typed), f"the text box 'Filter' takes {typed!r}")
    check(controls["filter"].queryText().getText(0, -1) == typed, f"the text box 'Filter' reads back {typed!r}")
    # The window searches between events; the rows and the count settle when the search ends.
    settle_records(records, controls, matching, f"filtered by {typed!r}")
    shot(args.shots, "3c-records-filtered")
    check_count(controls, "N of N shown", (matching, total), f"filtered by {typed!r}")
    close_records(app, records, controls, "opened from the end message")
    settle(app, ok, cancel, "the records window")

    require(text.queryText().getText(0, -1) == report, "the text box still holds the report's name")
    press(ok)
    question = one_box(app, "the question about converting again")
    shot(args.shots, "4-convert-again-question")
    asked = box_text(question)
    print("the question says:\n  " + asked.replace("\n", "\n  "))
    check("again" in asked.lower() and "?" in asked, "the box asks whether to convert the report again")
    check(find_one(question, (ROLE.ROLE_PUSH_BUTTON,), "Convert again") is not None,
          "the question has a button 'Convert again'")
    answer(app, question, "Cancel")
    settle(app, ok, cancel, "the refusal")
    shot(args.shots, "5-after-refusal")

    held = rows(database)
    if stored is not None and stored.isdigit():
        check(len(held) == int(stored), f"ovrek1.mdb holds the {stored} records the box told ({len(held)})")
    check(len(held) == len(reference), f"ovrek1.mdb holds as many records as zefto-convert stores ({len(held)} and {len(reference)})")
    check(held == reference, "ovrek1.mdb holds the records zefto-convert stores, in order, once")
    check(logged_records(database) == len(held), "the conversion log counts the records the table holds")

    window_now = next((w for w in children(app) if w.getRole() in WINDOW_ROLES and w.name == "Converter"), None)
    require(window_now is not None, "the window 'Converter' is still there")
    require(enabled(ok), "Ok is enabled")

    press(cancel)
    code = exit_code(proc, "the program", "Cancel")
    check(code == 0, f"the program exits with 0 after Cancel (it exited with {code})")
    records_alone(args, len(held))


def records_alone(args, total):
    """`zefto --records` in the same folder: the records window alone, on ovrek1.mdb there."""
    with open(args.log, "a") as log:
        proc = subprocess.Popen([args.zefto, "--records"], env=args.env, stdout=log, stderr=subprocess.STDOUT)
    # run.sh stops whatever this file names; the first program has exited by now.
    with open(args.pid_file, "w") as f:
        f.write(str(proc.pid))
    try:
        app = wait_for("the records window alone on the accessibility bus", lambda: application(proc.pid),
                       START_TIMEOUT)
        records, controls = records_window(app)
        shot(args.shots, "6-records-alone")
        settle_records(records, controls, total, "started alone")
        check_count(controls, "N records?", (total,), "started alone")
        another_conversion(args, records, controls, total)
        close_records(app, records, controls, "started alone", proc)
    finally:
        stop(proc)


def another_conversion(args, window, controls, total):
    """zefto-convert stores the report again beside the open window, which shows it within two seconds, unasked."""
    done = subprocess.run([args.convert, "--again", os.path.abspath(args.report)], env=args.env, capture_output=True,
                          text=True, timeout=STEP_TIMEOUT)
    require(done.returncode == 0, f"zefto-convert --again stores the report once more (exit {done.returncode}, "
                                  f"said {done.stderr.strip()!r})")
    table = controls["table"].queryTable()
    try:
        wait_for("the records window to show the other program's records", lambda: table.nRows == 2 * total, 2.5)
    except Stop:
        pass
    check(table.nRows == 2 * total, f"within two seconds the table has the {2 * total} records, unasked ({table.nRows})")
    check_count(controls, "N records?", (2 * total,), "after another program's conversion")
    logged = [i for i in children(controls["conversions"]) if i.name != "All records"]
    check(len(logged) == 2, f"the list 'Conversions' holds the other program's conversion too ({len(logged)} listed)")
    shot(args.shots, "7-records-refreshed")


def exit_code(proc, who, after):
    try:
        return proc.wait(timeout=STEP_TIMEOUT)
    except subprocess.TimeoutExpired:
        raise Stop(f"{who} did not exit after {after}")


def stop(proc):
    if proc.poll() is None:
        proc.kill()
        proc.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--zefto", required=True)
    parser.add_argument("--convert", required=True)
    parser.add_argument("--report", required=True)
    parser.add_argument("--pid-file", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--reference", required=True)
    args = parser.parse_args()
    # Every check reaches the log even when run.sh stops a driver that hangs.
    sys.stdout.reconfigure(line_buffering=True)
    args.shots = os.environ.get("ZEFTO_A11Y_SHOTS")
    if args.shots:
        args.shots = os.path.abspath(args.shots)

    env = dict(os.environ)
    # The default database and neighbourhood, whatever the caller's shell says.
    for name in ("ZEFTO_DATABASE", "ZEFTO_MAHALLE"):
        env.pop(name, None)
    # The offscreen platform has no accessibility bridge.
    env.update(QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    args.env = env
    with open(args.log, "w") as log:
        proc = subprocess.Popen([args.zefto], env=env, stdout=log, stderr=subprocess.STDOUT)
    with open(args.pid_file, "w") as f:
        f.write(str(proc.pid))
    try:
        scenario(args, proc)
    except Stop as e:
        if str(e) not in problems:
            problems.append(str(e))
            print(f"FAIL: {e}")
    except GLib.Error as e:
        problems.append(f"the accessibility bus failed a call: {e.message}")
        print(f"FAIL: {problems[-1]}")
    finally:
        stop(proc)
    if problems:
        print(f"{len(problems)} check(s) failed:")
        for p in problems:
            print(f"  - {p}")
        return 1
    print("every check passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
