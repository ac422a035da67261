#!/usr/bin/python3
"""Takes docs/studio.png: the studio on the default effect's folder over
the photograph, with the before/after split and fx.js open in the editor,
in headless Chromium.

usage: scripts/studio-screenshot.py [LUMIVEX] [OUTPUT] [EFFECT]
"""
import subprocess
import sys
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

lumivex = sys.argv[1] if len(sys.argv) > 1 else "build/tools/lumivex"
output = sys.argv[2] if len(sys.argv) > 2 else "docs/studio.png"
effect = sys.argv[3] if len(sys.argv) > 3 else "effects/default"

studio = subprocess.Popen([lumivex, "studio", "--no-open", "--effect", effect], stdout=subprocess.PIPE, text=True)
try:
    url = studio.stdout.readline().strip()[len("Studio: "):]
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run", "--window-size=1600,900",
                 "--hide-scrollbars", "--user-data-dir=" + tempfile.mkdtemp(prefix="studio-shot-")):
        options.add_argument(flag)
    options.binary_location = "/usr/bin/chromium"
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        driver.get(url)
        wait = WebDriverWait(driver, 120)
        wait.until(lambda d: d.execute_script("return window.studio.framesShown") > 0)
        wait.until(lambda d: d.execute_script("const e = window.studio.editor; return e.current && e.current.path")
                   == "fx.js")
        shown = driver.execute_script("return window.studio.framesShown")
        Select(driver.find_element(By.ID, "input")).select_by_value("photo")
        wait.until(lambda d: d.execute_script("return window.studio.framesShown") > shown)
        driver.find_element(By.ID, "split").click()
        wait.until(lambda d: d.execute_script("const b = document.getElementById('before');"
                                              " return !b.hidden && b.complete && b.naturalWidth > 0"))
        driver.save_screenshot(output)
    finally:
        driver.quit()
finally:
    studio.send_signal(2)
    studio.wait(timeout=10)
print("Screenshot:", output)
