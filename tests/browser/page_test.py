#!/usr/bin/env python3
"""The self-service page in headless Chromium, over HTTPS, against a real
vltadmin-host and a local account store: a mismatched repetition caught
before anything is sent, a wrong old password, a policy refusal, a failure
of the service, and a change that works; keyboard only, with the page's
accessibility and its headers checked. A screenshot of each state is saved.

    page_test.py BUILD_DIR [SCREENSHOT_DIR]

Exits 77 (skipped) when Chromium, its driver or Selenium is missing.
"""
import os
import re
import shutil
import signal
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.request

SKIP = 77
SERVICE_URL = '/Scripts/vltadmin/vltadmin.dll'
ANSWERS = {
    'changed': 'Your password was changed',
    'old': 'The old password was not accepted',
    'policy': 'The new password does not meet the rules of your domain',
    'failed': 'The service could not change the password; try again later',
}
MISMATCH = 'The new password and its repetition are not the same'
FIRST = 'Alice-Passw0rd-1'
# Markup characters and a leading space: the page must send them exactly.
CHANGED = ' New <Passw0rd> & "2"'


def skip(reason):
    print('SKIP: ' + reason)
    sys.exit(SKIP)


def find_browser():
    try:
        import selenium  # noqa: F401
    except ImportError:
        skip('python3-selenium is not installed')
    driver = shutil.which('chromedriver')
    browser = '/usr/lib/chromium/chromium' if os.path.exists('/usr/lib/chromium/chromium') \
        else shutil.which('chromium')
    if not driver or not browser:
        skip('chromium or chromium-driver is not installed')
    return browser, driver


def run(args, stdin=None):
    return subprocess.run(args, input=stdin, capture_output=True, text=True, check=True)


def xml_text(text):
    return re.sub(r'[\x00-\x20&<>"\']', lambda m: '&#%d;' % ord(m.group(0)), text)


class Host:
    """vltadmin-host on a free loopback port with TLS; always stopped."""

    def __init__(self, build, work):
        self.build, self.work = build, work
        self.store = os.path.join(work, 'accounts.db')
        accounts = os.path.join(build, 'bin', 'vltadmin-accounts')
        run([accounts, 'create', self.store, '--min-length', '10', '--complexity', 'on',
             '--history', '3', '--min-age', '0', '--lockout', '5'])
        run([accounts, 'add', self.store, 'alice'], stdin=FIRST + '\n')
        with open(os.path.join(build, 'etc', 'vltadmin.reg'), encoding='utf-8') as f:
            location = re.search(r'^"Location"="(.*)"', f.read(), re.M).group(1)
        self.registry = os.path.join(work, 'vltadmin.reg')
        with open(self.registry, 'w', encoding='utf-8') as f:
            f.write('Windows Registry Editor Version 5.00\r\n\r\n'
                    '[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Install]\r\n'
                    '"Location"="%s"\r\n\r\n'
                    '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\Accounts\\Domains\\DEMO]\r\n'
                    '"Provider"="local"\r\n"Store"="%s"\r\n' % (location, self.store))
        self.cert, self.key = os.path.join(work, 'cert.pem'), os.path.join(work, 'key.pem')
        run(['openssl', 'req', '-x509', '-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:prime256v1',
             '-nodes', '-keyout', self.key, '-out', self.cert, '-days', '1', '-subj', '/CN=127.0.0.1',
             '-addext', 'subjectAltName=IP:127.0.0.1'])
        self.log = os.path.join(work, 'access.log')
        self.stderr = open(os.path.join(work, 'host.stderr'), 'w+')
        self.process = subprocess.Popen(
            [os.path.join(build, 'bin', 'vltadmin-host'), '--registry', self.registry,
             '--listen', '127.0.0.1:0', '--tls-cert', self.cert, '--tls-key', self.key,
             '--access-log', self.log],
            stdout=subprocess.PIPE, stderr=self.stderr, text=True)
        line = self.process.stdout.readline()
        if not line.startswith('listening on '):
            self.stop()
            raise RuntimeError('the host did not start: ' + self.errors())
        self.origin = 'https://' + line.split()[-1]

    def errors(self):
        self.stderr.seek(0)
        return self.stderr.read()

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def posts(self, at_least=0):
        """POST lines in the access log; waits a while for at_least of them
        (a line is written once the response has been sent)."""
        for _ in range(500):
            with open(self.log, encoding='utf-8') as f:
                count = sum(1 for line in f if '"POST ' in line)
            if count >= at_least:
                return count
            time.sleep(0.01)
        return count

    def fetch(self, path, body=None):
        context = ssl.create_default_context(cafile=self.cert)
        request = urllib.request.Request(self.origin + path, data=body,
                                          headers={'Content-Type': 'text/xml'} if body else {})
        with urllib.request.urlopen(request, context=context, timeout=10) as response:
            return response.headers, response.read().decode('utf-8')

    def answer(self, old, new):
        """The error id of a change of alice's password sent directly, '' for success."""
        body = ('<?xml version="1.0" encoding="UTF-8"?><AdminProtocol version="1.0">'
                '<RequestChangePassword><UserName>alice</UserName><Domain type="NT">DEMO</Domain>'
                '<OldPassword>%s</OldPassword><NewPassword>%s</NewPassword>'
                '</RequestChangePassword></AdminProtocol>' % (xml_text(old), xml_text(new)))
        match = re.search(r'<ErrorId>(.*)</ErrorId>', self.fetch(SERVICE_URL, body.encode())[1])
        return match.group(1) if match else ''


class Page:
    def __init__(self, browser, driver_path, work, origin, shots):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        options = webdriver.ChromeOptions()
        options.binary_location = browser
        for argument in ('--headless', '--no-sandbox', '--disable-gpu', '--disable-quic',
                         '--no-first-run', '--disable-background-networking',
                         '--disable-component-update', '--disable-sync',
                         '--ignore-certificate-errors', '--window-size=720,960',
                         '--user-data-dir=' + os.path.join(work, 'profile')):
            options.add_argument(argument)
        self.driver = webdriver.Chrome(service=Service(executable_path=driver_path),
                                       options=options)
        self.origin, self.shots = origin, shots

    def quit(self):
        self.driver.quit()

    def open(self):
        self.driver.get(self.origin + '/vltadmin/')

    def active_id(self):
        return self.driver.switch_to.active_element.get_attribute('id')

    def fill_by_keyboard(self, values):
        """Tabs from the top of the page through the form, typing each value;
        Enter on the last field sends."""
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.keys import Keys
        self.open()  # a fresh page: the first Tab reaches its first control
        order = []
        for _ in range(7):
            ActionChains(self.driver).send_keys(Keys.TAB).perform()
            order.append(self.active_id())
        assert order == ['user', 'kind', 'domain', 'old', 'new', 'repeat', 'send'], order
        for field in ('user', 'domain', 'old', 'new', 'repeat'):
            element = self.driver.find_element('id', field)
            element.clear()
            element.send_keys(values[field])
        self.driver.find_element('id', 'repeat').send_keys(Keys.ENTER)

    def result(self, expected):
        from selenium.webdriver.support.ui import WebDriverWait
        element = self.driver.find_element('id', 'result')
        WebDriverWait(self.driver, 15).until(lambda d: element.text == expected,
                                             'result "%s" never shown' % expected)
        return element

    def screenshot(self, name):
        if self.shots:
            self.driver.save_screenshot(os.path.join(self.shots, name))

    def passwords_empty(self):
        return all(self.driver.find_element('id', f).get_attribute('value') == ''
                   for f in ('old', 'new'))


def check_page_headers(host):
    headers, html = host.fetch('/vltadmin/')
    assert headers['Cache-Control'] == 'no-store', headers
    csp = headers['Content-Security-Policy']
    for directive in ("default-src 'none'", "script-src 'self'", "connect-src 'self'",
                      "form-action 'none'", "frame-ancestors 'none'"):
        assert directive in csp, csp
    assert headers['Strict-Transport-Security'], headers
    assert '<script src="vltadmin.js"' in html and '<script>' not in html
    headers, _ = host.fetch('/vltadmin/vltadmin.js')
    assert headers['Content-Type'].startswith('text/javascript') and \
        headers['Cache-Control'] == 'no-store', headers


def check_accessibility(page):
    driver = page.driver
    page.open()
    names = {'user': 'User name', 'kind': 'Kind of account', 'domain': 'Domain',
             'old': 'Old password', 'new': 'New password', 'repeat': 'New password again',
             'send': 'Change password'}
    for field, name in names.items():
        assert driver.find_element('id', field).accessible_name == name, field
    result = driver.find_element('id', 'result')
    assert result.get_attribute('role') == 'status'
    assert result.get_attribute('aria-live') == 'polite'
    assert driver.find_element('tag name', 'html').get_attribute('lang') == 'en'


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    build = os.path.abspath(sys.argv[1])
    shots = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else os.path.join(build, 'screenshots')
    os.makedirs(shots, exist_ok=True)
    browser, driver_path = find_browser()
    with tempfile.TemporaryDirectory(prefix='vlt-page-') as work:
        host = Host(build, work)
        page = None
        try:
            check_page_headers(host)
            page = Page(browser, driver_path, work, host.origin, shots)
            check_accessibility(page)

            typed = {'user': 'alice', 'domain': 'DEMO', 'old': FIRST}
            cases = [
                # (name, new, repeat, old, answer, screenshot)
                ('mismatch', 'Mismatch-Passw0rd-2', 'Mismatch-Passw0rd-3', FIRST, MISMATCH,
                 'page-mismatch.png'),
                ('old', 'Alice-Passw0rd-2', 'Alice-Passw0rd-2', 'Wrong-Passw0rd-1', ANSWERS['old'],
                 'page-old-password.png'),
                ('policy', 'short', 'short', FIRST, ANSWERS['policy'], 'page-policy.png'),
                ('failed', 'Alice-Passw0rd-2', 'Alice-Passw0rd-2', FIRST, ANSWERS['failed'], None),
                ('changed', CHANGED, CHANGED, FIRST, ANSWERS['changed'], 'page-changed.png'),
            ]
            for name, new, repeat, old, expected, shot in cases:
                posts = host.posts()
                values = dict(typed, old=old, new=new, repeat=repeat)
                if name == 'failed':
                    values['domain'] = 'NOWHERE'
                page.fill_by_keyboard(values)
                page.result(expected)
                if name == 'mismatch':
                    assert page.active_id() == 'repeat', 'focus goes to the repetition'
                    time.sleep(0.5)
                    assert host.posts() == posts, 'a mismatch must not be sent'
                else:
                    assert host.posts(posts + 1) == posts + 1, name
                    assert page.passwords_empty(), 'passwords are emptied after ' + name
                if shot:
                    page.screenshot(shot)

            # The change took the password exactly as typed.
            assert host.answer(FIRST, 'Other-Passw0rd-9') == 'old-password-invalid'
            assert host.answer(CHANGED, 'Other-Passw0rd-9') == ''
            # Nothing typed was kept by the page or written to the log.
            stored = page.driver.execute_script(
                'return localStorage.length + sessionStorage.length + document.cookie.length')
            assert stored == 0, stored
            with open(host.log, encoding='utf-8') as f:
                log = f.read()
            for secret in (FIRST, 'Passw0rd', 'alice'):
                assert secret not in log, 'the access log holds ' + secret
        finally:
            if page:
                page.quit()
            host.stop()
            errors = host.errors()
            if 'Sanitizer' in errors or 'runtime error' in errors:
                print(errors)
                return 1
    print('page states checked; screenshots in ' + shots)
    return 0


if __name__ == '__main__':
    sys.exit(main())
