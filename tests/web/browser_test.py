"""The web console in a real browser (Debian's headless Chromium through
Selenium) against `tessaro --sim serve`: the page loads without a console
error, shows the shelf's Gen2 tags within 3 s, writes an EPC onto a
simulated tag, changes a setting, refuses a write without the token, and is
usable at a phone's width. Screenshots go to TESSARO_WEB_OUT.
"""
import os
import sys
import time
import unittest

from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select

sys.path.insert(0, os.path.dirname(__file__))
from browser import chromium, console_errors, screenshot  # noqa: E402
from console import Serve, shelf_epcs, strongest, wait_until  # noqa: E402

SERIAL = "19082024"


class BrowserTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.serve = Serve()
        cls.driver = chromium()

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.serve.stop()

    def rows(self, driver=None):
        """The EPCs the table shows, in its order."""
        return (driver or self.driver).execute_script(
            "return [...document.querySelectorAll('#tags tbody tr')].map(tr => tr.dataset.epc)")

    def output(self, element_id, contains, seconds=10):
        return wait_until(lambda: contains in self.driver.find_element(By.ID, element_id).text and
                          self.driver.find_element(By.ID, element_id).text, seconds)

    def fill(self, form, name, value):
        field = self.driver.find_element(By.CSS_SELECTOR, "#%s [name=%s]" % (form, name))
        field.clear()
        field.send_keys(value)

    def test_a_page_shows_the_shelf_and_drives_the_reader(self):
        driver = self.driver
        started = time.monotonic()
        driver.get(self.serve.url)
        shelf = shelf_epcs()
        shown = wait_until(lambda: shelf <= set(self.rows()), 3.0)
        self.assertTrue(shown, "after 3 s the table shows %d of %d tags" % (len(set(self.rows()) & shelf), len(shelf)))
        self.assertLess(time.monotonic() - started, 3.0 + 1.0)  # the page load itself included
        # The token of the ready URL is taken off the address bar.
        self.assertNotIn("token=", driver.current_url)

        # Sorting by RSSI, then a filter: the table follows.
        driver.find_element(By.CSS_SELECTOR, "button[data-sort=rssi]").click()
        filter_box = driver.find_element(By.ID, "filter")
        filter_box.send_keys(sorted(shelf)[0][:20])
        self.assertTrue(wait_until(lambda: len(self.rows()) < len(shelf), 3))
        filter_box.send_keys(Keys.CONTROL, "a", Keys.DELETE)
        self.assertTrue(wait_until(lambda: len(self.rows()) == len(shelf), 3))

        # A tag chosen by keyboard: its RSSI plot and the operations name it.
        target = strongest(lambda t: not any(k.startswith("lock") for k in t))
        row = driver.find_element(By.CSS_SELECTOR, "#tags tr[data-epc='%s']" % target)
        driver.execute_script("arguments[0].focus()", row)
        row.send_keys(Keys.ENTER)
        self.assertTrue(wait_until(lambda: driver.find_element(By.ID, "selected-epc").text == target, 3))
        time.sleep(1.5)  # a few reads on the plot
        screenshot(driver, "console")

        # Write an EPC from the page, confirmed in a dialog that names the tag.
        new = "AB12000000000000000000CD"
        self.fill("op-write-epc", "newEpc", new)
        driver.find_element(By.CSS_SELECTOR, "#op-write-epc button").click()
        dialog = driver.find_element(By.ID, "confirm-text")
        self.assertTrue(wait_until(lambda: target in dialog.text and new in dialog.text, 3), dialog.text)
        driver.find_element(By.ID, "confirm-ok").click()
        self.assertTrue(self.output("op-result", "now has the EPC"))
        # Read back through the API: the simulated tag answers to its new EPC.
        status, _, answer = self.serve.request(
            "POST", "/api/v1/readers/%s/tags/%s/read" % (SERIAL, new), {"bank": "epc", "word": 2, "count": len(new) // 4})
        self.assertEqual((status, answer.get("data")), (200, new))
        self.assertTrue(wait_until(lambda: new in self.rows(), 5), "the new EPC never showed in the table")

        # A settings change shows in the reader's information (tessaro info's words).
        self.fill("settings", "power", "17")
        Select(driver.find_element(By.CSS_SELECTOR, "#settings [name=region]")).select_by_value("eu")
        driver.find_element(By.CSS_SELECTOR, "#settings button[type=submit]").click()
        self.assertTrue(self.output("settings-result", "Saved"))
        self.assertTrue(wait_until(lambda: "17 dBm" in driver.find_element(By.ID, "info").text, 5))
        info = self.serve.request("GET", "/api/v1/readers/%s/info" % SERIAL)[2]["text"]
        self.assertTrue(any(line.startswith("RF power") and line.endswith("17 dBm") for line in info), info)
        self.assertTrue(any(line.startswith("Region") and "EU" in line for line in info), info)

        # Recording: start, stop, and the download link is offered.
        driver.find_element(By.ID, "record-start").click()
        self.assertTrue(self.output("record-result", "Recording reader"))
        time.sleep(1)
        driver.find_element(By.ID, "record-stop").click()
        self.assertTrue(self.output("record-result", "rounds"))
        self.assertTrue(driver.find_element(By.ID, "record-download").is_displayed())

        self.assertEqual(console_errors(driver), [])

    def test_b_a_write_without_the_token_is_refused(self):
        driver = chromium()
        try:
            driver.get("%s/" % self.serve.base)  # no token in the URL, none stored
            target = strongest(lambda t: "userwords" in t and "lock-user" not in t)
            self.assertTrue(wait_until(lambda: target in self.rows(driver), 5))
            self.assertTrue(driver.find_element(By.ID, "token-form").is_displayed())
            driver.find_element(By.CSS_SELECTOR, "#tags tr[data-epc='%s']" % target).click()
            field = driver.find_element(By.CSS_SELECTOR, "#op-write [name=data]")
            field.send_keys("BADC0FFE")
            driver.find_element(By.CSS_SELECTOR, "#op-write button").click()
            driver.find_element(By.ID, "confirm-ok").click()
            result = wait_until(lambda: driver.find_element(By.ID, "op-result").text, 5)
            self.assertIn("token", result)
            status, _, answer = self.serve.request(
                "POST", "/api/v1/readers/%s/tags/%s/read" % (SERIAL, target), {"bank": "user", "count": 2})
            self.assertNotEqual(answer.get("data"), "BADC0FFE")
            # The refusal is the page's answer, not a fault of the page.
            self.assertEqual([e for e in console_errors(driver) if "401" not in e["message"]], [])
        finally:
            driver.quit()

    def test_c_on_a_phone(self):
        driver = chromium(width=390, height=844, mobile=True)
        try:
            driver.get(self.serve.url)
            self.assertTrue(wait_until(lambda: len(driver.find_elements(By.CSS_SELECTOR, "#tags tbody tr")) >= 10, 5))
            # Nothing wider than the screen but the table's own scroller.
            overflow = driver.execute_script("return document.documentElement.scrollWidth - window.innerWidth")
            self.assertLessEqual(overflow, 1)
            # Every control has a label.
            unlabelled = driver.execute_script("""
                return [...document.querySelectorAll('input, select, button')].filter(e =>
                  !(e.labels && e.labels.length) && !e.textContent.trim() && !e.getAttribute('aria-label'))
                  .map(e => e.outerHTML)""")
            self.assertEqual(unlabelled, [])
            time.sleep(1)
            screenshot(driver, "console-phone")
            self.assertEqual(console_errors(driver), [])
        finally:
            driver.quit()


if __name__ == "__main__":
    unittest.main()
