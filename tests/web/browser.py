"""Headless Chromium (Debian's chromium and chromium-driver) through Selenium,
with a fresh profile and nothing that talks to the network on its own."""
import os
import shutil
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

from console import OUT


def chromium(width=1280, height=1000, mobile=False):
    profile = tempfile.mkdtemp(prefix="chromium-", dir=OUT)
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run",
                 "--disable-dev-shm-usage", "--user-data-dir=" + profile,
                 "--window-size=%d,%d" % (width, height)):
        options.add_argument(flag)
    if mobile:
        options.add_experimental_option("mobileEmulation", {
            "deviceMetrics": {"width": width, "height": height, "pixelRatio": 2.0}})
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    service = Service(shutil.which("chromedriver") or "/usr/bin/chromedriver")
    driver = webdriver.Chrome(service=service, options=options)
    driver.set_page_load_timeout(30)
    driver.set_script_timeout(30)
    driver.profile = profile
    return driver


def console_errors(driver):
    """The browser console's errors since the last call."""
    return [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]


def screenshot(driver, name):
    """A screenshot of the whole page into OUT/name.png."""
    height = driver.execute_script("return document.documentElement.scrollHeight")
    width = driver.execute_script("return document.documentElement.clientWidth")
    driver.set_window_size(max(width, 360), min(max(height, 600), 4000))
    path = os.path.join(OUT, name + ".png")
    driver.save_screenshot(path)
    return path
