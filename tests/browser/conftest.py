"""Shared pieces of the screen's browser tests: the built programs, a running
qvzsim with its screen, and headless Chromium driven by Selenium."""
import os
import pathlib
import re
import shutil
import subprocess
import tempfile

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("QVZ_BUILD_DIR", ROOT / "build" / "dev"))
QVZSIM = BUILD / "emulator" / "qvzsim"
DRIVER = BUILD / "tests" / "browser" / "qvz_apply_driver"


class Emulator:
    """qvzsim on free ports with its screen; stopped with SIGINT."""

    def __init__(self, *extra):
        if not QVZSIM.exists():
            pytest.fail(f"{QVZSIM} is not built (cmake --build build/dev --target qvzsim)")
        self.process = subprocess.Popen([str(QVZSIM), "--port", "0", "--http", "0", "--quiet", *extra],
                                        stdout=subprocess.PIPE, text=True)
        self.scpi_port = None
        self.url = None
        for line in self.process.stdout:
            found = re.search(r"listening on [^ ]+:(\d+)", line)
            if found:
                self.scpi_port = int(found.group(1))
            found = re.search(r"screen on (http://\S+)", line)
            if found:
                self.url = found.group(1)
                break
        if self.scpi_port is None or self.url is None:
            self.stop()
            pytest.fail("qvzsim did not print its ports")
        self.resource = f"TCPIP0::127.0.0.1::{self.scpi_port}::SOCKET"

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(2)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()


@pytest.fixture
def emulator():
    running = Emulator()
    yield running
    running.stop()


@pytest.fixture
def workdir():
    path = tempfile.mkdtemp(prefix="qvz_screen_")
    yield path
    shutil.rmtree(path, ignore_errors=True)


@pytest.fixture
def browser():
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        pytest.skip("no browser: python3-selenium is not installed (scripts/test-browser.sh installs it)")
    binary = shutil.which("chromium") or shutil.which("chromium-browser")
    driver_path = shutil.which("chromedriver")
    if not binary or not driver_path:
        pytest.skip("no browser: chromium and chromium-driver are not installed "
                    "(scripts/test-browser.sh installs them)")
    profile = tempfile.mkdtemp(prefix="qvz_chromium_")
    options = webdriver.ChromeOptions()
    options.binary_location = binary
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", f"--user-data-dir={profile}", "--window-size=1400,1900"):
        options.add_argument(flag)
    try:
        driver = webdriver.Chrome(service=Service(driver_path), options=options)
    except Exception as error:  # a browser that cannot start is no browser
        shutil.rmtree(profile, ignore_errors=True)
        pytest.skip(f"no browser: headless Chromium did not start: {error}")
    yield driver
    driver.quit()
    shutil.rmtree(profile, ignore_errors=True)


def run_driver(emulator, directory, *extra, timeout=60):
    if not DRIVER.exists():
        pytest.fail(f"{DRIVER} is not built (cmake --build build/dev --target qvz_apply_driver)")
    return subprocess.run([str(DRIVER), emulator.resource, directory, *extra], capture_output=True, text=True,
                          timeout=timeout)
