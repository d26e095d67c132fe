"""What a screen reader gets from the running program, through AT-SPI.

Run by scripts/check_accessibility inside a D-Bus session of its own, with the system's
python3 (pyatspi is a Debian package). Starts the demo site and the real program with
accessibility on, reads the accessible tree and the events a reader hears, and drives the
program with the keyboard alone (xdotool); puts one lesson file into the data folder (the
build folder) for the library to delete, and puts back what was there. Prints what it saw; exits 1 on the first check
that fails."""
import os
import pathlib
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

BUILD = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build").resolve()
PROGRAM = BUILD / "pebblewick"
DEMO_SITE = BUILD / "tools/demo_site/pebblewick_demo_site"

DIGITS = "零一二三四五六七八九"
# A lesson put into the data folder (the build folder) for the library to list and delete.
LIBRARY_LESSON = ("actdlh.ylq", "爱吃糖的老虎")
heard = []  # (event type, source role, source name, detail) of every event since the last clear


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def check(ok, what):
    print(("  ok    " if ok else "  FAIL  ") + what, flush=True)
    if not ok:
        raise SystemExit(1)


def pump(seconds):
    """Lets AT-SPI's events in for a while."""
    end = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while time.monotonic() < end:
        while context.iteration(False):
            pass
        time.sleep(0.02)


def wait_for(find, seconds=30):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            found = find()
        except Exception:  # the tree changes under us while we read it
            found = None
        if found:
            return found
        pump(0.2)
    return None


def listen(event):
    try:
        role = event.source.getRoleName()
        name = event.source.name
    except Exception:
        role, name = "?", "?"
    heard.append((event.type, role, name, str(event.any_data)))


def number_of(words):
    """七, 十二, 二十, 八十一 as a number."""
    if "十" not in words:
        return DIGITS.index(words)
    tens, _, ones = words.partition("十")
    return (DIGITS.index(tens) if tens else 1) * 10 + (DIGITS.index(ones) if ones else 0)


def descendants(node):
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is None:
            continue
        yield child
        yield from descendants(child)


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name.lower() == "pebblewick":
            return app
    return None


def window(title):
    app = application()
    if app is None:
        return None
    for i in range(app.childCount):
        w = app.getChildAtIndex(i)
        if w is not None and w.name == title and w.getState().contains(pyatspi.STATE_SHOWING):
            return w
    return None


def focused():
    """What has the keyboard: the focused object of the active window. A web page keeps a
    focused document of its own when the keyboard has gone elsewhere: another focused
    object comes first."""
    app = application()
    if app is None:
        return None
    found = []
    for i in range(app.childCount):
        top = app.getChildAtIndex(i)
        if top is not None and top.getState().contains(pyatspi.STATE_ACTIVE):
            found += [n for n in descendants(top) if n.getState().contains(pyatspi.STATE_FOCUSED)]
    others = [n for n in found if n.getRoleName() != "document web"]
    return (others or found or [None])[0]


def key(*names):
    subprocess.run(["xdotool", "key", "--delay", "60", *names], check=True)


def focus_main_window():
    """The keyboard goes to the main window (no window manager here to give it)."""
    subprocess.run(["xdotool", "search", "--name", "^Pebblewick2.0$", "windowfocus", "--sync"], check=False)
    pump(0.5)


class Program:
    def __init__(self, home, env, settings="", state=None):
        (home / "config/pebblewick").mkdir(parents=True, exist_ok=True)
        (home / "config/pebblewick/pebblewick.conf").write_text(settings)
        (home / "state/pebblewick").mkdir(parents=True, exist_ok=True)
        if state is not None:
            (home / "state/pebblewick/state.ini").write_text(state)
        self.process = subprocess.Popen([str(PROGRAM)], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        check(wait_for(lambda: window("Pebblewick2.0"), 60) is not None, "the main window is in the accessible tree")

    def end(self):
        self.process.terminate()
        self.process.wait(30)


def main():
    work = pathlib.Path(tempfile.mkdtemp(prefix="pebblewick-atspi-"))
    port = free_port()
    site = subprocess.Popen([str(DEMO_SITE), "--port", str(port)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
    program = None
    kept_lesson = None
    try:
        time.sleep(1)
        host = f"127.0.0.1:{port}"
        env = dict(os.environ, HOME=str(work), XDG_CONFIG_HOME=str(work / "config"),
                   XDG_STATE_HOME=str(work / "state"), XDG_DATA_HOME=str(work / "data"),
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
                   PEBBLEWICK_SITE_HOST=host, PEBBLEWICK_LESSON_HOST1=host, PEBBLEWICK_LESSON_HOST2=host)
        if os.geteuid() == 0:
            env["QTWEBENGINE_DISABLE_SANDBOX"] = "1"
        for kind in ("focus:", "object:state-changed:focused", "object:property-change:accessible-name",
                     "object:text-changed:insert", "object:state-changed:showing"):
            pyatspi.Registry.registerEventListener(listen, kind)

        print("The main window", flush=True)
        lesson_file = BUILD / LIBRARY_LESSON[0]
        kept_lesson = lesson_file.read_bytes() if lesson_file.exists() else None
        lesson_file.write_bytes(b"FWS\x06" + b"\x00" * 60)
        program = Program(work, env)
        main_window = window("Pebblewick2.0")
        names = [(n.getRoleName(), n.name) for n in descendants(main_window)]
        check(not any(name in ("按钮边框", "背景") for _, name in names), "no frame and no background is read out")
        frames = sum(1 for n in descendants(main_window) if n.getRoleName() == "filler" and not n.name and n.childCount == 0)
        check(frames == 0, "no empty, unnamed object (a frame) is in the tree")
        for button in ("听儿歌", "讲故事", "玩游戏", "学知识"):
            check((("push button", button + "（正在整理，请等待升级）") in names),
                  f"{button}: says that it only shows its notice today")
        check(("push button", "全屏播放课程") in names and ("push button", "家长设置") in names,
              "全屏 and 家长 say what they do")

        print("The gate, by keyboard alone", flush=True)
        heard.clear()
        focus_main_window()
        key("ctrl+alt+p")
        check(wait_for(lambda: window("请家长回答")) is not None, "Ctrl+Alt+P opens the gate")
        field = wait_for(lambda: (lambda f: f if f is not None and "等于多少" in f.name else None)(focused()))
        check(field is not None, f"the focused field is read as the question: {field.name if field else None!r}")
        first = field.name
        for _ in range(3):
            key("1", "Return")
        pump(1.5)
        countdown = [h for h in heard if h[0].startswith("object:property-change:accessible-name") and "秒后再试" in h[2]]
        check(bool(countdown), f"three wrong answers: the pause is announced ({countdown[:1]})")
        print("  ...  waiting for the 30 s pause to end", flush=True)
        field = wait_for(lambda: (lambda f: f if f is not None and "等于多少" in f.name else None)(focused()), 45)
        check(field is not None, f"after the pause a new question is read: {field.name if field else None!r}")
        question = field.name
        left, right = re.match(r"(.+)乘以(.+)等于多少？", question).groups()
        answer = number_of(left) * number_of(right)
        heard.clear()
        key(*list(str(answer)))
        pump(0.5)
        typed = [h for h in heard if h[0].startswith("object:text-changed:insert")]
        check(bool(typed), f"the typed answer is read ({len(typed)} insertions heard)")
        key("Return")
        settings = wait_for(lambda: window("家长设置"))
        check(settings is not None, f"{answer} and Enter pass the gate (first {first}, then {question})")
        combos = [n.name for n in descendants(settings) if n.getRoleName() == "combo box"]
        labelled = all(any(r.getRelationType() == pyatspi.RELATION_LABELLED_BY for r in n.getRelationSet())
                       for n in descendants(settings) if n.getRoleName() == "combo box")
        check(len(combos) == 2 and labelled, f"both time choices are labelled ({combos})")

        print("The week and the library", flush=True)
        key("ctrl+Tab")
        chart = wait_for(lambda: next((n for n in descendants(window("家长设置")) if n.getRoleName() == "chart"), None))
        check(chart is not None and chart.name == "这一周每天用的时间", f"Ctrl+Tab shows 这一周 with its chart: {chart.name if chart else None!r}")
        days = chart.description.split("；")
        check(len(days) == 7 and all(re.fullmatch(r"周[一二三四五六日] \d+ 分钟", d) for d in days),
              f"the chart reads each day and its minutes: {chart.description!r}")
        names = [(n.getRoleName(), n.name) for n in descendants(window("家长设置")) if n.getState().contains(pyatspi.STATE_SHOWING)]
        check(any(re.fullmatch(r"今天用了 \d+ 分钟", name) for _, name in names), "today's minutes are read in words")
        check(("push button", "清除使用记录") in names, "清除记录 says what it clears")
        key("ctrl+Tab")
        row = f"删除 {LIBRARY_LESSON[1]}"
        button = wait_for(lambda: next((n for n in descendants(window("家长设置"))
                                        if n.getRoleName() == "push button" and n.name == row), None))
        check(button is not None, f"课程库 has a button {row!r}, with {button.description if button else None!r}")
        totals = next((n.name for n in descendants(window("家长设置")) if n.name.startswith("共 ")), "")
        check(re.fullmatch(r"共 \d+ 课，占用 [\d.]+ MB，磁盘还剩 [\d.]+ [MG]B", totals) is not None, f"the totals are read: {totals!r}")
        button.queryComponent().grabFocus()
        key("space")
        question = wait_for(lambda: window("信息："))
        texts = [n.name for n in descendants(question)] if question else []
        check(f"删除「{LIBRARY_LESSON[1]}」？" in texts and "删除" in texts and "取消" in texts,
              f"it asks first, with 删除 and 取消 ({texts})")
        yes = next(n for n in descendants(question) if n.getRoleName() == "push button" and n.name == "删除")
        yes.queryComponent().grabFocus()
        key("space")
        check(wait_for(lambda: not (BUILD / LIBRARY_LESSON[0]).exists(), 10) is not None, "删除 removes the lesson's file")
        gone = wait_for(lambda: all(n.name != row for n in descendants(window("家长设置"))), 10)
        check(gone is not None, "and its row")
        key("Escape")
        check(wait_for(lambda: window("家长设置") is None) is not None, "Esc closes the settings")

        print("F6 back to the lesson menu", flush=True)
        focus_main_window()
        key("Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab")  # the menu, 8 buttons, into the page
        in_page = wait_for(lambda: (lambda f: f if f is not None and f.getRoleName() not in ("push button", "list") else None)(focused()), 10)
        check(in_page is not None, f"Tab goes on into the page ({in_page.getRoleName() if in_page else None} {in_page.name if in_page else ''!r})")
        heard.clear()
        key("F6")
        pump(1.5)
        # A reader follows the focus events (the page's document keeps a focused state of its own).
        moved = [h for h in heard if h[0].startswith("focus:")]
        check(bool(moved) and moved[-1][1] in ("page tab", "list item", "list"),
              f"F6 brings the focus to the lesson menu ({moved[-2:] if moved else None})")
        program.end()

        print("A rest kept from the last run", flush=True)
        heard.clear()
        program = Program(work, env, "sessionMinutes=20\nrestMinutes=30\n",
                          f"savedAt={int(time.time() * 1000)}\nusedMs=1200000\nresting=true\nrestedMs=0\n")
        focus_main_window()
        rest = wait_for(lambda: (lambda f: f if f is not None and f.getRoleName() == "alert" else None)(focused()))
        check(rest is not None and rest.name == "休息一下", f"the rest picture has the focus and is an alert: {rest.name if rest else None!r}")
        check("休息" in rest.description, f"with its description: {rest.description!r}")
        program.end()

        print("The note before the end", flush=True)
        program = Program(work, env, "sessionMinutes=20\n",
                          f"savedAt={int(time.time() * 1000)}\nusedMs={16 * 60000}\nresting=false\n")
        note = wait_for(lambda: next((n for n in descendants(window("Pebblewick2.0")) if n.name.startswith("还有")), None))
        check(note is not None and note.name == "还有 4 分钟就要休息啦", f"the note is read with its minutes: {note.name if note else None!r}")
        program.end()

        print("The offline page", flush=True)
        env_offline = dict(env, PEBBLEWICK_SITE_HOST=f"127.0.0.1:{free_port()}")
        program = Program(work, env_offline)
        dot = wait_for(lambda: next((n for n in descendants(window("Pebblewick2.0"))
                                     if n.getRoleName() == "image" and n.name), None), 60)
        check(dot is not None and dot.name == "绿点", f"the dot has a text alternative: {dot.name if dot else None!r}")
        program.end()
        program = None
        print("All checks passed.")
    finally:
        if program is not None:
            program.end()
        lesson_file = BUILD / LIBRARY_LESSON[0]
        if kept_lesson is not None:
            lesson_file.write_bytes(kept_lesson)
        else:
            lesson_file.unlink(missing_ok=True)
        launcher.terminate()
        site.terminate()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
