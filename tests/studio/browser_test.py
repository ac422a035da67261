#!/usr/bin/python3
"""The studio in headless Chromium: the page builds one control per
parameter, a slider changes the frame, saving a shader reloads it, a broken
shader shows its error with file and line and a fixed one recovers, a hung
render process is reported and recovers at the next save. The editor
shows fx.js, marks a broken shader's error on its line, moves the cursor
there when the error is clicked, clears the mark after a fixed save, follows
edits made on disk and keeps unsaved edits over them. On an ISF file the
editor shows the file itself and an error there opens at its line. Reset, undo and redo
(buttons and keys) change a value and the frame. A page served
from another loopback port can neither change a value, upload a file,
frame the studio nor lock it out with a cookie. Finally it measures input
event to new frame on screen for the default effect at 640x360 (reported,
not judged).

usage: browser_test.py LUMIVEX PARAMS_EFFECT DEFAULT_EFFECT
"""
import http.server
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

LUMIVEX, PARAMS_EFFECT, DEFAULT_EFFECT = sys.argv[1:4]

# The control each parameter type must get: (CSS selector inside its row, count).
CONTROLS = {
    "slider": [("input[type=range]", 1), ("input[type=number]", 1)],
    "angle": [("input[type=range]", 1), ("input[type=number]", 1)],
    "checkbox": [("input[type=checkbox]", 1)],
    "popup": [("select", 1)],
    "color": [("input[type=color]", 1)],
    "point": [("input[type=number]", 2)],
    "point3d": [("input[type=number]", 3)],
    "layer": [("select", 1)],
}


class Studio:
    def __init__(self, *args):
        self.proc = subprocess.Popen([LUMIVEX, "studio", "--no-open", *args], stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline().strip()
        assert line.startswith("Studio: http://127.0.0.1:"), line
        self.url = line[len("Studio: "):]
        self.base, self.token = self.url.split("/?token=")

    def get(self, path):
        with urllib.request.urlopen(f"{self.base}{path}{'&' if '?' in path else '?'}token={self.token}") as r:
            return json.load(r)

    def stop(self):
        self.proc.send_signal(2)  # Ctrl-C
        assert self.proc.wait(timeout=10) == 0, "the studio did not exit cleanly on SIGINT"


# A page of another origin (another port of 127.0.0.1) that tries what any
# web page the user visits could: changes without a preflight (no-cors
# fetch, a text/plain form with a crafted field name), an upload, framing
# the studio, and planting a cookie of the name the studio once used.
ATTACK = """<!DOCTYPE html><html><body>
<iframe id="framed" src="{url}"></iframe>
<iframe name="sink" id="sink"></iframe>
<form id="form" method="POST" enctype="text/plain" target="sink" action="{base}/api/frame.raw?time=0">
<input name='{{"Amount": 77, "x": "' value='"}}'></form>
<script>
document.cookie = "lumivex_studio_{port}=planted; path=/";
const sent = [
  fetch("{base}/api/frame.raw", {{method: "POST", mode: "no-cors", credentials: "include",
        headers: {{"Content-Type": "text/plain"}}, body: '{{"Amount": 77}}'}}),
  fetch("{base}/api/params", {{method: "PUT", mode: "no-cors", credentials: "include", body: '{{"Amount": 78}}'}}),
  fetch("{base}/api/upload?name=planted.png", {{method: "POST", mode: "no-cors", credentials: "include",
        body: new Blob(["not an image"])}}),
];
document.getElementById("sink").addEventListener("load", () => {{ window.formDone = true; }});
document.getElementById("form").submit();
Promise.allSettled(sent).then(() => {{ window.attackDone = true; }});
</script></body></html>"""


def serve_attack(studio):
    """Serves ATTACK on a free port of 127.0.0.1; returns its address and the server."""
    page = ATTACK.format(url=studio.url, base=studio.base, port=studio.base.rsplit(":", 1)[1]).encode()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.end_headers()
            self.wfile.write(page)

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return f"http://127.0.0.1:{server.server_port}/", server


def check_attack(driver, studio):
    attack, server = serve_attack(studio)
    try:
        driver.get(attack)
        wait(driver, "the other page's requests", lambda d: d.execute_script("return window.attackDone === true"))
        wait(driver, "the other page's form post", lambda d: d.execute_script("return window.formDone === true"))
        driver.switch_to.frame(driver.find_element(By.ID, "framed"))
        framed = driver.find_elements(By.ID, "params")
        driver.switch_to.default_content()
        assert not framed, "another page framed the studio"
    finally:
        server.shutdown()
    amount = next(p for p in studio.get("/api/effect")["parameters"] if p["name"] == "Amount")
    assert amount["value"] == 40, f"another page changed Amount to {amount['value']}"
    # Nothing was stored: the first upload is still to come.
    request = urllib.request.Request(f"{studio.base}/api/upload?name=mine.png&token={studio.token}",
                                     open(os.path.join(DEFAULT_EFFECT, "tile.png"), "rb").read(),
                                     {"Content-Type": "application/octet-stream"}, method="POST")
    with urllib.request.urlopen(request) as r:
        value = json.load(r)["value"]
    assert value.startswith("upload:1-"), f"another page's upload was kept before {value}"


def browser():
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run", "--window-size=1400,900",
                 "--user-data-dir=" + tempfile.mkdtemp(prefix="studio-chromium-")):
        options.add_argument(flag)
    options.binary_location = "/usr/bin/chromium"
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def live_render_processes(server_pid):
    """The server's children that are running, not ones already ended."""
    out = subprocess.run(["ps", "-o", "pid=,stat=", "--ppid", str(server_pid)], capture_output=True, text=True).stdout
    return [int(pid) for pid, stat in (line.split()[:2] for line in out.splitlines() if line.strip())
            if not stat.startswith("Z")]


# Generous: the machine may be busy with builds and other tests.
def wait(driver, what, condition, timeout=120):
    try:
        return WebDriverWait(driver, timeout, poll_frequency=0.02).until(lambda d: condition(d), message=what)
    except Exception:
        # What the page says, for the report.
        print("page status:", driver.execute_script(
            "return [document.getElementById('status').textContent, document.getElementById('failure').textContent]"),
            flush=True)
        raise


# The colour on screen at the frame's centre, read back from the shown image.
SCREEN_PIXEL = """
const c = document.getElementById('frame');
return Array.from(c.getContext('2d').getImageData(c.width >> 1, c.height >> 1, 1, 1).data);
"""

# Sets a slider row's range input as a user drag would (input events, then
# change as the pointer lets go).
MOVE_SLIDER = """
const row = [...document.querySelectorAll('.param')].find(r => r.querySelector('.name').textContent === arguments[0]);
const r = row.querySelector('input[type=range]');
r.value = arguments[1];
r.dispatchEvent(new Event('input'));
r.dispatchEvent(new Event('change'));
"""


def frames_shown(driver):
    return driver.execute_script("return window.studio.framesShown")


def wait_for_colour(driver, what, expected, tolerance=2):
    def ok(d):
        px = d.execute_script(SCREEN_PIXEL)
        return all(abs(a - b) <= tolerance for a, b in zip(px, expected)) and px
    return wait(driver, what, ok)


def check_params_effect(driver):
    work = tempfile.mkdtemp(prefix="studio-test-")
    effect = os.path.join(work, "params")
    shutil.copytree(PARAMS_EFFECT, effect)
    # The fixture's alpha counts drawn frames; opaque frames read back exactly.
    # Its frame grows by 40x20 pixels, centred on the layer.
    script = os.path.join(effect, "fx.js")
    with open(script) as f:
        source = f.read().replace("c[1] / 1000, n / 8]", "c[1] / 1000, 1]")
        source += "\nfunction preRender(w, h) { LX_setOutputExtent(w + 40, h + 20); }\n"
    with open(script, "w") as f:
        f.write(source)
    shutil.copy(os.path.join(DEFAULT_EFFECT, "tile.png"), os.path.join(work, "outside.png"))
    studio = Studio("--effect", effect)
    try:
        # Refused: no token, a foreign Host (DNS rebinding), an oversized
        # body, a layer image outside the effect folder.
        json_type = {"Content-Type": "application/json"}
        for path, headers, method, body, code in [
                ("/api/effect", {}, "GET", None, 403),
                (f"/api/effect?token={studio.token}", {"Host": "rebound.example:80"}, "GET", None, 403),
                (f"/api/params?token={studio.token}", json_type, "PUT", b" " * 100000, 413),
                (f"/api/params?token={studio.token}", json_type, "PUT", b'{"Matte": "../outside.png"}', 403)]:
            try:
                urllib.request.urlopen(urllib.request.Request(studio.base + path, body, headers, method=method))
                raise AssertionError(f"{method} {path} {headers} was answered")
            except urllib.error.HTTPError as e:
                assert e.code == code, (path, headers, e.code)

        # The studio open in the same browser, then another site's page.
        driver.get(studio.url)
        wait(driver, "a first frame", lambda d: frames_shown(d) >= 1)
        check_attack(driver, studio)

        driver.get(studio.url)
        described = [p for p in studio.get("/api/effect")["parameters"] if not p["type"].startswith("group")]
        wait(driver, "one row per parameter", lambda d: len(d.find_elements(By.CSS_SELECTOR, ".param")) == len(described))
        for p in described:
            row = driver.find_element(By.CSS_SELECTOR, f'.param[data-index="{p["index"]}"]')
            assert row.find_element(By.CSS_SELECTOR, ".name").text == p["name"], p["name"]
            for selector, count in CONTROLS.get(p["type"], []):
                found = row.find_elements(By.CSS_SELECTOR, selector)
                assert len(found) == count, f'{p["name"]} ({p["type"]}): {len(found)} of {selector}'
            if p["type"] == "popup":
                assert len(row.find_elements(By.CSS_SELECTOR, "option")) == len(p["choices"]), p["name"]
            assert ("disabled" in row.get_attribute("class")) == (not p["enabled"]), p["name"]
        assert driver.find_elements(By.CSS_SELECTOR, "details > summary")[0].text == "Controls"

        # The fixture draws red = Amount / 100 (alpha counts drawn frames).
        wait(driver, "a first frame", lambda d: frames_shown(d) >= 1)
        wait_for_colour(driver, "red from the default Amount of 40", [round(0.4 * 255)], 1)
        driver.execute_script(MOVE_SLIDER, "Amount", 80)
        wait_for_colour(driver, "red from Amount 80 after the slider moved", [round(0.8 * 255)], 1)
        check_history(driver, described)

        # Changes are all or nothing: one the effect refuses leaves Amount as it was.
        try:
            urllib.request.urlopen(urllib.request.Request(f"{studio.base}/api/params?token={studio.token}", json.dumps(
                {"Amount": 55, "No such parameter": 1}).encode(), json_type, method="PUT"))
            raise AssertionError("a change of an unknown parameter was answered")
        except urllib.error.HTTPError as e:
            assert e.code == 400, e.code
        amount = next(p for p in studio.get("/api/effect")["parameters"] if p["name"] == "Amount")
        assert amount["value"] == 80, amount

        # Enable off greys Amount out (updateUIFlags).
        driver.execute_script("[...document.querySelectorAll('.param')].find(r => r.querySelector('.name').textContent"
                              " === 'Enable').querySelector('input').click()")
        wait(driver, "Amount disabled after Enable went off", lambda d: "disabled" in d.find_element(
            By.CSS_SELECTOR, '.param[data-index="%d"]' % next(p["index"] for p in described if p["name"] == "Amount")
        ).get_attribute("class"))

        # Saving the shader reloads the effect and keeps Amount at 80.
        shader = os.path.join(effect, "fill.frag")
        original = open(shader).read()
        with open(shader, "w") as f:
            f.write("uniform vec4 colour;\nvoid main() { gl_FragColor = vec4(colour.r, 1.0, 0.0, 1.0); }\n")
        saved = time.monotonic()
        wait_for_colour(driver, "the edited shader's green", [round(0.8 * 255), 255, 0], 1)
        print(f"reload: saved shader on screen after {1000 * (time.monotonic() - saved):.0f} ms", flush=True)

        # A compile error on line 3 is listed with its file and line.
        with open(shader, "w") as f:
            f.write("uniform vec4 colour;\nvoid main() {\n  gl_FragColor = notDeclared;\n}\n")
        wait(driver, "the error on fill.frag line 3", lambda d: d.find_elements(
            By.CSS_SELECTOR, '#errors li.error[data-file="fill.frag"][data-line="3"]'))
        with open(shader, "w") as f:
            f.write(original)
        wait(driver, "errors cleared after the fix", lambda d: d.find_elements(By.CSS_SELECTOR, "#errors li.none"))
        wait_for_colour(driver, "the fixed shader's red", [round(0.8 * 255), 0], 1)
        check_editor(driver, effect)

        # A render process that crashes is reported; the next save recovers.
        # On a busy machine the render process may still be changing over
        # after the last reload, so the one that is killed may already be on
        # its way out: kill the live one and ask for a frame until a crash
        # shows.
        def crash_shown(d):
            if d.find_element(By.ID, "failure").is_displayed():
                return True
            for pid in live_render_processes(studio.proc.pid):
                try:
                    os.kill(pid, signal.SIGSEGV)
                except ProcessLookupError:
                    pass  # ended between the listing and now
            d.execute_script("const t = document.getElementById('time');"
                             " t.value = t.value == 1 ? 2 : 1; t.dispatchEvent(new Event('input'))")
            try:
                WebDriverWait(d, 10, poll_frequency=0.05).until(
                    lambda e: e.find_element(By.ID, "failure").is_displayed())
                return True
            except Exception:
                return False
        wait(driver, "the crash reported", crash_shown)
        assert "crashed" in driver.find_element(By.ID, "failure").text, driver.find_element(By.ID, "failure").text
        os.utime(shader)
        wait(driver, "recovery after a save", lambda d: not d.find_element(By.ID, "failure").is_displayed())
        wait_for_colour(driver, "frames again after the crash", [round(0.8 * 255)], 1)
        wait(driver, "the crash gone from the error list", lambda d: not d.find_elements(By.CSS_SELECTOR, "#errors li.failure"))

        # A point handle sits over its layer position in the grown frame: layer
        # (100, 50) is frame pixel (120, 60).
        centre = next(p["index"] for p in described if p["type"] == "point")
        driver.execute_script("document.querySelectorAll('.param[data-type=point] input').forEach((b, i) => {"
                              " b.value = [100, 50][i]; b.dispatchEvent(new Event('change')); })")
        wait(driver, "the point handle at frame pixel (120, 60)", lambda d: d.execute_script(
            f"const h = document.querySelector('#handles .handle[data-index=\"{centre}\"]');"
            " return h && [h.style.left, h.style.top]") == ["120px", "60px"])
        check_controls_follow(driver, studio, effect, centre)
    finally:
        studio.stop()
        shutil.rmtree(work)


def amount_row(driver, described):
    index = next(p["index"] for p in described if p["name"] == "Amount")
    return driver.find_element(By.CSS_SELECTOR, f'.param[data-index="{index}"]')


def press(driver, *keys):
    """Presses keys with Ctrl held (and Shift when given first) on the focused element."""
    chain = ActionChains(driver).key_down(Keys.CONTROL)
    for k in keys[:-1]:
        chain = chain.key_down(k)
    chain = chain.send_keys(keys[-1])
    for k in keys[:-1]:
        chain = chain.key_up(k)
    chain.key_up(Keys.CONTROL).perform()


def check_history(driver, described):
    """Amount is 80: the keyboard moves its slider, reset gives back the
    default 40, and undo and redo (buttons, then keys) go between them; the
    frame follows each."""
    red = lambda amount: [round(amount / 100 * 255)]
    row = amount_row(driver, described)
    slider = row.find_element(By.CSS_SELECTOR, "input[type=range]")
    slider.send_keys(Keys.ARROW_RIGHT)
    wait_for_colour(driver, "red from Amount 81 after the arrow key", red(81), 1)
    driver.find_element(By.ID, "undo").click()
    wait_for_colour(driver, "red from Amount 80 after undo", red(80), 1)
    row.find_element(By.CSS_SELECTOR, "button.reset").send_keys(Keys.ENTER)
    wait_for_colour(driver, "red from the default Amount after reset", red(40), 1)
    assert slider.get_attribute("value") == "40", slider.get_attribute("value")
    driver.find_element(By.ID, "undo").click()
    wait_for_colour(driver, "red from Amount 80 after undoing the reset", red(80), 1)
    driver.find_element(By.ID, "redo").click()
    wait_for_colour(driver, "red from Amount 40 after redo", red(40), 1)
    # Keys, with the focus anywhere but where text is typed.
    driver.execute_script("document.getElementById('resetAll').focus()")
    press(driver, "z")
    wait_for_colour(driver, "red from Amount 80 after Ctrl-Z", red(80), 1)
    press(driver, Keys.SHIFT, "z")
    wait_for_colour(driver, "red from Amount 40 after Ctrl-Shift-Z", red(40), 1)
    press(driver, "z")
    wait_for_colour(driver, "red from Amount 80 after Ctrl-Z again", red(80), 1)
    # Reset all, then undo it as one step.
    driver.find_element(By.ID, "resetAll").click()
    wait_for_colour(driver, "red from the default Amount after reset all", red(40), 1)
    driver.find_element(By.ID, "undo").click()
    wait_for_colour(driver, "red from Amount 80 after undoing reset all", red(80), 1)


def editor_text(driver):
    return driver.execute_script("const e = window.studio.editor; return e.current ? e.cm.getValue() : null")


def error_mark(driver, line):
    """The class of the mark in the editor's gutter on `line` (1-based), or None."""
    return driver.execute_script("const m = window.studio.editor.cm.lineInfo(arguments[0] - 1);"
                                 " const g = m && m.gutterMarkers && m.gutterMarkers['lx-marks'];"
                                 " return g ? g.className : null", line)


def open_tab(driver, path):
    driver.find_element(By.CSS_SELECTOR, f'#tabs button[data-path="{path}"]').click()
    wait(driver, f"{path} open in the editor", lambda d: d.execute_script(
        "const e = window.studio.editor; return e.current && e.current.path") == path)


def type_text(driver, text):
    """Replaces the open file's text as typing would (one undoable change)."""
    driver.execute_script("const cm = window.studio.editor.cm; cm.setValue(arguments[0]); cm.focus()", text)


def check_editor(driver, effect):
    """The editor opens fx.js, saves a broken shader with Ctrl-S and marks
    its error, jumps to it from the error list, clears the mark when the fix
    is saved, shows edits made on disk and keeps unsaved edits over them."""
    script = open(os.path.join(effect, "fx.js")).read()
    wait(driver, "fx.js in the editor", lambda d: editor_text(d) == script)
    shader = os.path.join(effect, "fill.frag")
    original = open(shader).read()
    open_tab(driver, "fill.frag")
    assert editor_text(driver) == original

    broken = "uniform vec4 colour;\nvoid main() {\n  gl_FragColor = notDeclared;\n}\n"
    type_text(driver, broken)
    press(driver, "s")
    wait(driver, "the broken shader saved", lambda d: open(shader).read() == broken)
    wait(driver, "an error mark on line 3", lambda d: error_mark(d, 3) == "lx-mark error")
    assert [error_mark(driver, n) for n in (1, 2, 4)] == [None, None, None]
    driver.execute_script("window.studio.editor.cm.setCursor({line: 0, ch: 0})")
    driver.find_element(By.CSS_SELECTOR, '#errors li.error[data-file="fill.frag"][data-line="3"]').click()
    wait(driver, "the cursor on line 3", lambda d: d.execute_script(
        "const cm = window.studio.editor.cm; return cm.getCursor().line === 2 && cm.hasFocus()"))

    type_text(driver, original)
    driver.find_element(By.ID, "saveFile").click()
    wait(driver, "the fixed shader saved", lambda d: open(shader).read() == original)
    wait(driver, "the mark cleared", lambda d: error_mark(d, 3) is None
         and d.find_elements(By.CSS_SELECTOR, "#errors li.none"))
    wait_for_colour(driver, "the shader saved from the editor", [round(0.8 * 255), 0], 1)

    # Another editor's save shows in a file without unsaved edits...
    outside = original.replace("void main()", "// edited elsewhere\nvoid main()")
    with open(shader, "w") as f:
        f.write(outside)
    wait(driver, "the text saved elsewhere in the editor", lambda d: editor_text(d) == outside)
    # ...but never replaces unsaved edits: the page says so, and a save
    # goes only when asked to go over the file on disk.
    mine = outside + "// mine\n"
    type_text(driver, mine)
    with open(shader, "w") as f:
        f.write(original)
    wait(driver, "the change on disk reported", lambda d: d.find_element(By.ID, "saveAnyway").is_displayed())
    assert editor_text(driver) == mine
    driver.execute_script("document.getElementById('editorNote').textContent = ''")
    press(driver, "s")
    wait(driver, "the save refused", lambda d: d.find_element(By.ID, "editorNote").text
         and d.find_element(By.ID, "saveAnyway").is_displayed())
    assert open(shader).read() == original
    driver.find_element(By.ID, "saveAnyway").click()
    wait(driver, "the edits saved over the file", lambda d: open(shader).read() == mine)
    type_text(driver, original)
    driver.find_element(By.ID, "saveFile").click()
    wait(driver, "the original shader back", lambda d: open(shader).read() == original)
    wait_for_colour(driver, "the original shader's red", [round(0.8 * 255), 0], 1)


def check_controls_follow(driver, studio, effect, centre):
    """Handles keep the pointer while frames arrive, and the controls show
    the values in use, whoever set them."""
    def value(name):
        return next(p for p in studio.get("/api/effect")["parameters"] if p["name"] == name).get("value")

    def row_input(name, selector):
        return driver.execute_script(
            "const row = [...document.querySelectorAll('.param')].find(r => r.querySelector('.name').textContent"
            " === arguments[0]); return row.querySelector(arguments[1]);", name, selector)

    # A drag of 200x100 screen pixels in steps, frames arriving between them.
    handle = driver.find_element(By.CSS_SELECTOR, f'#handles .handle[data-index="{centre}"]')
    scale = driver.execute_script("return scale()")
    shown = frames_shown(driver)
    actions = ActionChains(driver, duration=20).move_to_element(handle).click_and_hold()
    for _ in range(10):
        actions.move_by_offset(20, 10).pause(0.2)
    actions.release().perform()
    expected = [100 + 200 / scale, 50 + 100 / scale]
    wait(driver, f"the point dragged to about {expected}", lambda d: all(
        abs(a - b) <= 2 for a, b in zip(value("Centre"), expected)))
    assert frames_shown(driver) >= shown + 3, "too few frames during the drag to test it"

    # The keyboard moves it too: ten pixels with Shift and an arrow key.
    dragged = value("Centre")
    handle.send_keys(Keys.SHIFT, Keys.ARROW_RIGHT)
    wait(driver, "the point moved 10 pixels right by the keyboard",
         lambda d: value("Centre") == [dragged[0] + 10, dragged[1]])

    # A point far outside the frame shows at its edge, where it can be grabbed.
    driver.execute_script("document.querySelectorAll('.param[data-type=point] input').forEach((b, i) => {"
                          " b.value = [5000, 50][i]; b.dispatchEvent(new Event('change')); })")
    wait(driver, "the handle at the frame's right edge", lambda d: d.execute_script(
        f"const h = document.querySelector('#handles .handle[data-index=\"{centre}\"]');"
        " return h.classList.contains('outside') && h.style.left") == "680px")

    # A typed value outside the valid range shows the value in use.
    box = row_input("Amount", "input[type=number]")
    driver.execute_script("arguments[0].value = 500; arguments[0].dispatchEvent(new Event('change'))", box)
    wait(driver, "Amount shown as 200", lambda d: box.get_attribute("value") == "200" and value("Amount") == 200)

    # A change through the API (or another tab) reaches the controls.
    request = urllib.request.Request(f"{studio.base}/api/params?token={studio.token}", b'{"Amount": 33}',
                                     {"Content-Type": "application/json"}, method="PUT")
    urllib.request.urlopen(request).read()
    wait(driver, "Amount 33 from the API in the page", lambda d: box.get_attribute("value") == "33"
         and row_input("Amount", "input[type=range]").get_attribute("value") == "33")

    # A chosen layer shows after a reload of the page and can be unset.
    reloads = driver.execute_script("return window.studio.reloads")
    shutil.copy(os.path.join(DEFAULT_EFFECT, "tile.png"), os.path.join(effect, "matte.png"))
    wait(driver, "matte.png listed", lambda d: "matte.png" in studio.get("/api/files")["files"])
    wait(driver, "the reload after the new file", lambda d: d.execute_script("return window.studio.reloads") > reloads)
    driver.refresh()
    wait(driver, "matte.png offered", lambda d: d.find_elements(By.CSS_SELECTOR, '.param[data-type=layer] option[value="matte.png"]'))
    layer = driver.find_element(By.CSS_SELECTOR, ".param[data-type=layer] select")
    driver.execute_script("arguments[0].value = 'matte.png'; arguments[0].dispatchEvent(new Event('change'))", layer)
    wait(driver, "the layer chosen", lambda d: value("Matte") == "matte.png")
    driver.refresh()
    wait(driver, "the chosen layer shown after a reload", lambda d: d.execute_script(
        "const s = document.querySelector('.param[data-type=layer] select'); return s && s.value") == "matte.png")
    layer = driver.find_element(By.CSS_SELECTOR, ".param[data-type=layer] select")
    driver.execute_script("arguments[0].value = ''; arguments[0].dispatchEvent(new Event('change'))", layer)
    wait(driver, "the layer given back to the host", lambda d: value("Matte") is None)


# An ISF shader whose red is written on line 8.
ISF = """/*{
  "INPUTS": [
    {"NAME": "level", "TYPE": "float", "DEFAULT": 0.5}
  ]
}*/
void main() {
    float r = level;
    gl_FragColor = vec4(%s, 0.0, 0.0, 1.0);
}
"""


def check_source_file(driver):
    """On an ISF file the editor offers the file itself, not the generated
    effect; a broken save lists its error at the file's line, clicking it
    moves the cursor there, and the saved fix clears it."""
    work = tempfile.mkdtemp(prefix="studio-test-")
    shader = os.path.join(work, "shader.fs")
    with open(shader, "w") as f:
        f.write(ISF % "r")
    studio = Studio("--effect", shader)
    try:
        driver.get(studio.url)
        wait(driver, "shader.fs in the editor", lambda d: editor_text(d) == ISF % "r")
        tabs = [b.get_attribute("data-path") for b in driver.find_elements(By.CSS_SELECTOR, "#tabs button")]
        assert tabs == ["shader.fs"], tabs
        type_text(driver, ISF % "notDeclared")
        press(driver, "s")
        wait(driver, "the broken shader saved", lambda d: open(shader).read() == ISF % "notDeclared")
        error = '#errors li.error[data-file="shader.fs"][data-line="8"]'
        wait(driver, "the error on shader.fs line 8", lambda d: d.find_elements(By.CSS_SELECTOR, error))
        wait(driver, "an error mark on line 8", lambda d: error_mark(d, 8) == "lx-mark error")
        driver.execute_script("window.studio.editor.cm.setCursor({line: 0, ch: 0})")
        driver.find_element(By.CSS_SELECTOR, error).click()
        wait(driver, "the cursor on line 8", lambda d: d.execute_script(
            "const cm = window.studio.editor.cm; return cm.getCursor().line === 7 && cm.hasFocus()"))
        type_text(driver, ISF % "r")
        driver.find_element(By.ID, "saveFile").click()
        wait(driver, "the fixed shader saved", lambda d: open(shader).read() == ISF % "r")
        wait(driver, "errors cleared after the fix", lambda d: d.find_elements(By.CSS_SELECTOR, "#errors li.none"))
    finally:
        studio.stop()
        shutil.rmtree(work)


def measure_latency(driver):
    studio = Studio("--effect", DEFAULT_EFFECT)
    try:
        driver.get(studio.url)
        wait(driver, "a first frame", lambda d: frames_shown(d) >= 1, timeout=60)
        slider = next(p for p in studio.get("/api/effect")["parameters"] if p["type"] == "slider")
        lo, hi = slider["range"]
        for i in range(15):
            before = frames_shown(driver)
            driver.execute_script(MOVE_SLIDER, slider["name"], lo + (hi - lo) * (0.3 + 0.02 * i))
            wait(driver, "a new frame", lambda d: frames_shown(d) > before, timeout=60)
        latencies = driver.execute_script("return window.studio.latencies")
        print(f"latency: input event to new frame, default effect at 640x360, {len(latencies)} changes of "
              f"'{slider['name']}': median {statistics.median(latencies):.0f} ms "
              f"(min {min(latencies):.0f}, max {max(latencies):.0f})", flush=True)
    finally:
        studio.stop()


def main():
    driver = browser()
    try:
        check_params_effect(driver)
        check_source_file(driver)
        measure_latency(driver)
    finally:
        driver.quit()
    print("studio browser test passed")


if __name__ == "__main__":
    main()
