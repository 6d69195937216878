#!/usr/bin/python3
"""The control page of `graflink-cli run`, in headless Chromium driven through Selenium, against the
real simulator (`graflink-cli cgsim`) and a loopback feed server; then plain HTTP and web-socket
checks of the server's refusals.

Usage: control_page_test.py GRAFLINK_CLI [--screenshot PNG]
"""
import asyncio
import glob
import html
import http.server
import json
import os
import queue
import re
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.request

import websockets
from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

TOKEN = "rack-token-7f3a9c"
SCRIPT_VALUE = "<img src=x onerror=alert(1)>"
CLI = None
SCREENSHOT = None


class Feeds(http.server.ThreadingHTTPServer):
    """Serves /NAME.xml as <m><home>VALUE</home></m>, VALUE changed by the test (a list: one
    <home> each, the rows of the data source)."""

    def __init__(self):
        self.values = {"alpha": "first", "beta": SCRIPT_VALUE, "gamma": ["one"]}
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                name = self.path.strip("/").removesuffix(".xml")
                value = outer.values.get(name, "")
                homes = "".join(f"<home>{html.escape(item, quote=False)}</home>"
                                for item in (value if isinstance(value, list) else [value]))
                body = f"<m>{homes}</m>".encode()
                self.send_response(200)
                self.send_header("Content-Type", "application/xml")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        super().__init__(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def url(self, name):
        return f"http://127.0.0.1:{self.server_address[1]}/{name}.xml"


def start(arguments, env, pattern, stream):
    """Starts the program and returns it with the first match of `pattern` on `stream`."""
    process = subprocess.Popen([CLI, *arguments], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=True)
    source = process.stdout if stream == "stdout" else process.stderr
    for _ in range(20):
        match = re.search(pattern, source.readline())
        if match:
            return process, match
    process.kill()
    raise RuntimeError(f"{arguments[0]} did not start")


class ControlPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.home = tempfile.TemporaryDirectory(prefix="graflink-control-")
        home = cls.home.name
        cls.env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(home, "config"),
                       XDG_STATE_HOME=os.path.join(home, "state"), GRAFLINK_TEST_TOKEN=TOKEN)
        cls.feeds = Feeds()

        cls.simulator, match = start(["cgsim", "--port", "0"], cls.env, r"listening on http://127\.0\.0\.1:(\d+)",
                                     "stderr")
        cls.updates = queue.Queue()  # the texts the simulator accepted for Scoreboard/Home

        def read_updates():
            for line in cls.simulator.stdout:
                update = json.loads(line)
                if update.get("item") in ("Home", "ITM-HOME"):
                    cls.updates.put(update.get("text"))
        threading.Thread(target=read_updates, daemon=True).start()

        variable = '{"XPath":"m/home","CGProjectName":"Scoreboard","CGProjectFieldName":"Home","valueType":0}'
        documents = []
        for name, extra in (("alpha", ["--publish"]), ("beta", ["--auto-refresh", "1"])):
            path = os.path.join(home, f"{name}.graflink")
            subprocess.run([CLI, "new", path, "--source", cls.feeds.url(name), "--server",
                            f"127.0.0.1:{match.group(1)}", "--var", variable, *extra],
                           env=cls.env, check=True, capture_output=True)
            documents.append(path)
        gamma = os.path.join(home, "gamma.cgds")
        subprocess.run([CLI, "datasource", "new", gamma], env=cls.env, check=True, capture_output=True)
        subprocess.run([CLI, "datasource", "set", gamma, "--url", cls.feeds.url("gamma"), "--xpath", "/m/home[*]",
                        "--add-column", "Home=/m/home[*]"], env=cls.env, check=True, capture_output=True)
        cls.documents = documents + [gamma]
        cls.output = []
        cls.run_process = cls.start_run("0")

        options = webdriver.ChromeOptions()
        for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1280,900"):
            options.add_argument(argument)
        cls.browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        cls.browser.get(cls.base + "/")

    @classmethod
    def start_run(cls, port):
        process, found = start(["run", *cls.documents, "--status-port", port, "--status-token-env",
                                "GRAFLINK_TEST_TOKEN"], cls.env, r"status on (http://127\.0\.0\.1:\d+)/", "stdout")
        cls.base = found.group(1)
        def read_output():
            cls.output.extend(process.stdout)
            process.stdout.close()
        threading.Thread(target=read_output, daemon=True).start()
        return process

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        for process in (cls.run_process, cls.simulator):
            process.terminate()
            process.wait(timeout=30)
            process.stderr.close()
        cls.simulator.stdout.close()
        cls.feeds.shutdown()
        cls.feeds.server_close()
        log = ""
        for path in glob.glob(os.path.join(cls.home.name, "state", "**", "*.log"), recursive=True):
            with open(path, errors="replace") as file:
                log += file.read()
        # Every action is in the technical log with the client's address; the token never is.
        assert "Control page (127.0.0.1): Update of alpha" in log, log[-2000:]
        assert TOKEN not in log and TOKEN not in "".join(cls.output)
        cls.home.cleanup()

    # MARK: - Helpers

    def wait(self, condition, message, seconds=10):
        return WebDriverWait(self.browser, seconds, poll_frequency=0.1).until(lambda _: condition(), message)

    def control(self, label):
        return self.browser.find_element(By.CSS_SELECTOR, f'button[aria-label="{label}"]')

    def value_of(self, name):
        """The first variable's value in the card of document `name`, read in one step (the page
        replaces the table as values arrive)."""
        return self.browser.execute_script(
            "for (const card of document.querySelectorAll('article.document'))"
            "  if (card.querySelector('h2').textContent === arguments[0]) {"
            "    const cell = card.querySelector('td.value'); return cell ? cell.textContent : null; }"
            "return null;", name)

    def simulator_gets(self, text, seconds=10):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            try:
                if self.updates.get(timeout=0.2) == text:
                    return True
            except queue.Empty:
                pass
        return False

    def drain_updates(self):
        while not self.updates.empty():
            self.updates.get()

    # MARK: - In the browser, in order

    def rows_of(self, name):
        return self.browser.execute_script(
            "for (const card of document.querySelectorAll('article.document'))"
            "  if (card.querySelector('h2').textContent === arguments[0])"
            "    for (const term of card.querySelectorAll('dt'))"
            "      if (term.textContent === 'Rows') return term.nextElementSibling.textContent;"
            "return null;", name)

    def test_1_wrong_token_is_refused_and_said(self):
        token = self.wait(lambda: self.browser.find_element(By.ID, "token").is_displayed() and
                          self.browser.find_element(By.ID, "token"), "the page asks for the token")
        token.send_keys("not-the-token\n")
        self.wait(lambda: "Wrong token" in self.browser.find_element(By.ID, "token-problem").text,
                  "a wrong token is said to be wrong")
        self.assertFalse(self.browser.find_elements(By.CSS_SELECTOR, "article.document"))

    def test_2_lists_both_documents_and_shows_values_as_text(self):
        self.browser.find_element(By.ID, "token").send_keys(TOKEN + "\n")
        self.wait(lambda: len(self.browser.find_elements(By.CSS_SELECTOR, "article.document")) == 3,
                  "three documents listed")
        names = [h.text for h in self.browser.find_elements(By.CSS_SELECTOR, "article.document h2")]
        self.assertEqual(names, ["alpha", "beta", "gamma"])
        self.wait(lambda: self.value_of("beta") == SCRIPT_VALUE, "the script-bearing value shown as text")
        self.assertFalse(self.browser.find_elements(By.CSS_SELECTOR, "#documents img"))
        with self.assertRaises(NoAlertPresentException):
            self.browser.switch_to.alert.text

    def test_3_feed_change_appears_without_reload(self):
        marker = self.browser.execute_script("return window.__notReloaded = 'yes';")
        self.feeds.values["beta"] = "live-2"
        self.wait(lambda: self.value_of("beta") == "live-2", "the new value appears", seconds=5)
        self.assertEqual(self.browser.execute_script("return window.__notReloaded;"), marker)

    def test_4_update_puts_the_value_on_the_simulator(self):
        self.drain_updates()
        self.feeds.values["alpha"] = "update-1"
        self.control("Update alpha").click()
        self.assertTrue(self.simulator_gets("update-1"), "the simulator shows the updated value")
        self.wait(lambda: "Done" in self.browser.find_element(By.ID, "message").text, "the page confirms")

    def test_5_on_air_off_stops_publishing(self):
        on_air = self.control("ON AIR, alpha")
        self.assertEqual(on_air.get_attribute("aria-pressed"), "true")
        on_air.click()
        self.wait(lambda: on_air.get_attribute("aria-pressed") == "false" and on_air.text == "Preview only",
                  "ON AIR off shown")
        self.drain_updates()
        self.feeds.values["alpha"] = "after-off"
        self.control("Update alpha").click()
        self.wait(lambda: self.value_of("alpha") == "after-off", "the refresh ran")
        self.assertFalse(self.simulator_gets("after-off", seconds=1.5), "nothing published while off air")

    def test_6_clear_asks_then_blanks(self):
        on_air = self.control("ON AIR, alpha")
        on_air.click()
        self.wait(lambda: on_air.get_attribute("aria-pressed") == "true", "back on air")
        self.assertTrue(self.simulator_gets("after-off"), "on air again publishes the current value")
        dialog = self.browser.find_element(By.ID, "clear-dialog")
        self.control("Clear CG fields of alpha").click()
        self.wait(lambda: dialog.is_displayed(), "Clear asks first")
        self.assertIn("alpha", dialog.text)
        self.assertEqual(self.browser.switch_to.active_element.text, "Cancel", "Cancel has the focus")
        self.browser.find_element(By.ID, "clear-cancel").click()
        self.assertFalse(self.simulator_gets("", seconds=1), "Cancel clears nothing")
        self.control("Clear CG fields of alpha").click()
        self.browser.find_element(By.ID, "clear-confirm").click()
        self.assertTrue(self.simulator_gets(""), "the field is blanked")
        self.wait(lambda: on_air.get_attribute("aria-pressed") == "false", "Clear takes the document off air")

    def test_7_auto_refresh_toggles_and_every_control_has_a_name(self):
        auto = self.control("Auto refresh, beta")
        self.assertEqual(auto.get_attribute("aria-pressed"), "true")
        auto.click()
        self.wait(lambda: auto.get_attribute("aria-pressed") == "false", "auto refresh off")
        auto.click()
        self.wait(lambda: auto.get_attribute("aria-pressed") == "true", "auto refresh on again")
        for control in self.browser.find_elements(By.CSS_SELECTOR, "button, input"):
            named = control.get_attribute("aria-label") or control.get_attribute("textContent").strip() or \
                self.browser.execute_script(
                "return arguments[0].labels && arguments[0].labels.length", control)
            self.assertTrue(named, control.get_attribute("outerHTML"))
        if SCREENSHOT:
            self.browser.set_window_size(1100, 820)
            self.browser.save_screenshot(SCREENSHOT)

    def test_8_lost_connection_is_shown_and_the_page_reconnects(self):
        status = self.browser.find_element(By.ID, "connection")
        self.run_process.terminate()
        self.assertEqual(self.run_process.wait(timeout=30), 0, "a clean stop with a page open")
        self.run_process.stderr.close()
        self.wait(lambda: "lost" in status.text, "the lost connection is shown")
        self.__class__.run_process = self.start_run(self.base.rsplit(":", 1)[1])
        self.wait(lambda: status.text.startswith("Connected"), "the page reconnects by itself", seconds=20)
        self.assertEqual(len(self.browser.find_elements(By.CSS_SELECTOR, "article.document")), 3)

    def test_9_a_data_source_shows_its_rows_and_update_refreshes_them(self):
        self.wait(lambda: self.rows_of("gamma") == "1", "the data source's rows counted")
        self.feeds.values["gamma"] = ["one", "two"]
        self.control("Update gamma").click()
        self.wait(lambda: self.rows_of("gamma") == "2", "the new row counted after Update", seconds=5)

    # MARK: - Plain HTTP and web sockets

    def request(self, path, method="GET", headers=None):
        request = urllib.request.Request(self.base + path, method=method, headers=headers or {})
        try:
            with urllib.request.urlopen(request, timeout=10) as response:
                return response.status, dict(response.headers), response.read().decode()
        except urllib.error.HTTPError as error:
            return error.code, dict(error.headers), error.read().decode()

    def test_http_refusals_and_headers(self):
        bearer = {"Authorization": f"Bearer {TOKEN}"}
        cases = [
            # path, method, headers, status
            ("/", "GET", {}, 200),
            ("/control.js", "GET", {}, 200),
            ("/status", "GET", {}, 401),
            ("/status", "GET", bearer, 200),
            (f"/status?token={TOKEN}", "GET", {}, 400),
            (f"/status?x={TOKEN}", "GET", bearer, 400),
            ("/", "GET", {"Host": "attacker.example:80"}, 403),
            ("/documents/0/update", "POST", {"Origin": "http://attacker.example"}, 403),
            ("/documents/0/update", "POST", {"Origin": "http://attacker.example", **bearer}, 403),
            ("/documents/0/update", "POST", {}, 401),
            ("/documents/0/update", "GET", bearer, 405),
            ("/documents/9/update", "POST", bearer, 404),
            ("/documents/0/explode", "POST", bearer, 404),
            ("/", "POST", {}, 405),
        ]
        for path, method, headers, status in cases:
            with self.subTest(path=path, method=method, headers=headers):
                got, response_headers, body = self.request(path, method, headers)
                self.assertEqual(got, status, body)
                self.assertIn("default-src 'self'", response_headers.get("Content-Security-Policy", ""))
                self.assertEqual(response_headers.get("X-Content-Type-Options"), "nosniff")
                self.assertEqual(response_headers.get("Referrer-Policy"), "no-referrer")
                if status == 401:
                    self.assertEqual(response_headers.get("WWW-Authenticate"), "Bearer")
                self.assertNotIn(TOKEN, body)

    def test_web_socket_refusals(self):
        own = self.base.replace("http://", "")

        async def attempt(origin, path="/live", token=TOKEN):
            try:
                async with websockets.connect(f"ws://{own}{path}", origin=origin, open_timeout=10) as socket:
                    await socket.send(json.dumps({"token": token}))
                    message = json.loads(await asyncio.wait_for(socket.recv(), 10))
                    return message["type"]
            except websockets.InvalidStatusCode as refused:
                return refused.status_code
            except websockets.ConnectionClosed as closed:
                return (closed.code, closed.reason)

        cases = [
            ("http://attacker.example", "/live", TOKEN, 403),
            (None, "/live", TOKEN, 403),
            (self.base, f"/live?token={TOKEN}", TOKEN, 400),
            (self.base, "/live", "wrong", (1008, "wrong token")),
            (self.base, "/other", TOKEN, 404),
            (self.base, "/live", TOKEN, "documents"),
        ]
        for origin, path, token, expected in cases:
            with self.subTest(origin=origin, path=path, token=token):
                self.assertEqual(asyncio.run(attempt(origin, path, token)), expected)


if __name__ == "__main__":
    CLI = sys.argv[1]
    if "--screenshot" in sys.argv:
        SCREENSHOT = os.path.abspath(sys.argv[sys.argv.index("--screenshot") + 1])
    unittest.main(argv=[sys.argv[0]], verbosity=2)
