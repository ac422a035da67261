#!/usr/bin/python3
"""Takes docs/studio.png: the studio on the default effect over the
photograph, with the before/after split, in headless Chromium.

usage: scripts/studio-screenshot.py [LUMIVEX] [OUTPUT]
"""
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

lumivex = sys.argv[1] if len(sys.argv) > 1 else "build/tools/lumivex"
output = sys.argv[2] if len(sys.argv) > 2 else "docs/studio.png"

studio = subprocess.Popen([lumivex, "studio", "--no-open"], stdout=subprocess.PIPE, text=True)
try:
    url = studio.stdout.readline().strip()[len("Studio: "):]
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run", "--window-size=1400,860",
                 "--hide-scrollbars", "--user-data-dir=" + tempfile.mkdtemp(prefix="studio-shot-")):
        options.add_argument(flag)
    options.binary_location = "/usr/bin/chromium"
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        driver.get(url)
        WebDriverWait(driver, 30).until(lambda d: d.execute_script("return window.studio.framesShown") > 0)
        shown = driver.execute_script("return window.studio.framesShown")
        Select(driver.find_element(By.ID, "input")).select_by_value("photo")
        WebDriverWait(driver, 30).until(lambda d: d.execute_script("return window.studio.framesShown") > shown)
        driver.find_element(By.ID, "split").click()
        time.sleep(1)
        driver.save_screenshot(output)
    finally:
        driver.quit()
finally:
    studio.send_signal(2)
    studio.wait(timeout=10)
print("Screenshot:", output)
