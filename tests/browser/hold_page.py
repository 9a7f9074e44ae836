"""Keeps the emulator's screen open in headless Chromium until stopped
(SIGTERM or SIGINT), for measurements with the page open. Prints "open" once
the page has rendered.

    /usr/bin/python3 tests/browser/hold_page.py http://127.0.0.1:PORT/
"""
import shutil
import signal
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service


def main(url):
    profile = tempfile.mkdtemp(prefix="qvz_chromium_")
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", f"--user-data-dir={profile}", "--window-size=1400,1900"):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    signal.signal(signal.SIGINT, lambda *_: stop.append(1))
    try:
        driver.get(url)
        driver.set_script_timeout(120)
        while not driver.execute_script("return document.body.dataset.renderedState"):
            time.sleep(0.05)
        # Settled: what the page shows is the emulator's current state.
        while driver.execute_script("return lastState") != driver.execute_async_script(
                "fetch('/state.json').then(r => r.text()).then(arguments[0])"):
            time.sleep(0.1)
        print("open", flush=True)
        while not stop:
            time.sleep(0.1)
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv[1])
