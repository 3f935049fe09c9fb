#!/usr/bin/python3
"""The report page (tarvona_diag/data/www) in real headless Chromium, served by busybox
httpd behind realm lines, with the real tarvona_diag as its CGI in the router
sandbox on the sample router.

The test runs in a private network namespace of its own (loopback only, with
the router's LAN address 192.168.1.1 on it), so the page is reached the way an
owner reaches it: plain http to the router's address, not a secure context.

The CGI is a small wrapper: it keeps every response it hands out (headers and
body, exactly as the program wrote them) in out/, so the page's sections,
the clipboard and the downloads are compared with the program's own bytes.
The file "mode" beside it switches the wrapper to one of the failure modes.

Exit status: 0 passed, 1 failed, 77 (ctest SKIP_RETURN_CODE) when Chromium,
chromedriver or selenium is missing -- the reason is printed, the access
checks against busybox httpd still run first.
"""
import atexit
import base64
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

SKIP = 77
CHROMIUM = '/usr/bin/chromium'
CHROMEDRIVER = '/usr/bin/chromedriver'
LAN = '192.168.1.1'
PORT = 8080
USER, PASSWORD = 'root', 'tarvona-test-pw'
FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync']

TESTS = os.environ.get('ROUTER_SRC') or os.path.dirname(os.path.abspath(__file__))
PAGE_DIR = os.path.join(os.path.dirname(TESTS), 'data', 'www')
BUILD = os.environ.get('ROUTER_BUILD', '')
SANDBOX = os.environ.get('ROUTER_SANDBOX', '')
SAMPLE = os.environ.get('ROUTER_SAMPLE', '')
UCI_BIN = os.environ.get('UCI_BIN_DIR', '')
DIAG = os.environ.get('BIN_TARVONA_DIAG') or os.path.join(BUILD, 'tarvona_diag', 'tarvona_diag')

failures = []
passes = 0


def check(cond, what):
    global passes
    if cond:
        passes += 1
    else:
        failures.append(what)
        print('FAIL', what, file=sys.stderr, flush=True)
    return cond


def eq(expected, actual, what):
    return check(expected == actual, '%s: expected %r, got %r' % (what, expected, actual))


# ---- private network namespace ----
if os.environ.get('PAGE_TEST_NETNS') != '1':
    if os.geteuid() != 0:
        print('bb_page_browser: needs root (network namespace, router sandbox)', file=sys.stderr)
        sys.exit(1)
    os.environ['PAGE_TEST_NETNS'] = '1'
    os.execvp('unshare', ['unshare', '-n', sys.executable] + sys.argv)
subprocess.run(['ip', 'link', 'set', 'lo', 'up'], check=True)
subprocess.run(['ip', 'addr', 'add', LAN + '/24', 'dev', 'lo'], check=True)

WORK = tempfile.mkdtemp(prefix='.page-test.', dir=BUILD or None)
SHOTS = os.path.join(os.getcwd(), 'page_screenshots')
OUT = os.path.join(WORK, 'out')
DOCROOT = os.path.join(WORK, 'www')
FIFO = os.path.join(WORK, 'slow.fifo')
os.makedirs(OUT)
os.makedirs(os.path.join(DOCROOT, 'cgi-bin'))
shutil.copytree(PAGE_DIR, os.path.join(DOCROOT, 'tarvona-diag'))
os.mkfifo(FIFO)

asan = 'ASAN_OPTIONS=detect_leaks=0' if os.environ.get('ROUTER_SANITIZE') == '1' else 'TARVONA_PAGE_TEST=1'
WRAPPER = r'''#!/bin/sh
# CGI of the page test: runs tarvona_diag in the router sandbox and keeps a
# copy of each response; "mode" picks a failure instead.
work=%(work)s
n=$(date +%%s%%N)
printf '%%s' "$QUERY_STRING" >"$work/out/$n.query"
case $(cat "$work/mode") in
crash) exit 1 ;;
bad_gateway) printf 'Status: 502 Bad Gateway\r\nContent-Type: text/plain\r\n\r\nThe CGI process did not produce any response\n'; exit 1 ;;
garbage) printf 'Content-Type: application/json; charset=utf-8\r\n\r\n<html><body>Internal error</body></html>\n'; exit 0 ;;
truncated) printf 'Content-Type: application/json; charset=utf-8\r\n\r\n{"timestamp":"2026-12-10 10:00:00","system":{"kernel":"5.15'; exit 0 ;;
gateway_timeout) printf 'Status: 504 Gateway Timeout\r\nContent-Type: text/plain\r\n\r\nThe CGI process took too long to produce a response\n'; exit 0 ;;
slow) cat "$work/slow.fifo" >/dev/null; exit 0 ;;
canned) printf 'Content-Type: application/json; charset=utf-8\r\n\r\n'; cat "$work/canned.json"; exit 0 ;;
esac
%(sandbox)s --root %(sample)s/root --path %(sample)s/bin --path %(uci)s --net \
    --env "REQUEST_METHOD=$REQUEST_METHOD" --env "QUERY_STRING=$QUERY_STRING" --env %(asan)s \
    -- %(diag)s >"$work/out/$n.tmp" 2>"$work/out/$n.err"
mv "$work/out/$n.tmp" "$work/out/$n.resp"
cat "$work/out/$n.resp"
''' % {'work': WORK, 'sandbox': SANDBOX, 'sample': SAMPLE, 'uci': UCI_BIN, 'diag': DIAG, 'asan': asan}
cgi = os.path.join(DOCROOT, 'cgi-bin', 'tarvona_diag')
with open(cgi, 'w') as f:
    f.write(WRAPPER)
os.chmod(cgi, 0o755)


def set_mode(mode):
    with open(os.path.join(WORK, 'mode'), 'w') as f:
        f.write(mode)


set_mode('report')

# Realm lines in the form the package writes (it names the system password
# of root, $p$root, which only uhttpd understands; here a plain one).
with open(os.path.join(WORK, 'httpd.conf'), 'w') as f:
    f.write('/tarvona-diag:%s:%s\n/cgi-bin/tarvona_diag:%s:%s\n' % (USER, PASSWORD, USER, PASSWORD))

httpd = subprocess.Popen(['busybox', 'httpd', '-f', '-p', '0.0.0.0:%d' % PORT, '-h', DOCROOT,
                          '-c', os.path.join(WORK, 'httpd.conf'), '-r', 'tarvona-diag'],
                         start_new_session=True, stdout=subprocess.DEVNULL)
driver = None


def cleanup():
    global driver
    if driver is not None:
        try:
            driver.quit()
        except Exception:
            pass
        driver = None
    if httpd.poll() is not None:
        return
    try:
        os.killpg(httpd.pid, 9)   # the server and any CGI it still runs
    except ProcessLookupError:
        pass
    httpd.wait()
    shutil.rmtree(WORK, ignore_errors=True)


def finish(code=None):
    print('%d passed, %d failed' % (passes, len(failures)))
    sys.exit(code if code is not None else (1 if failures else 0))


atexit.register(cleanup)   # also after an unexpected exception
deadline = time.monotonic() + 15
while True:
    try:
        socket.create_connection(('127.0.0.1', PORT), timeout=1).close()
        break
    except OSError:
        if httpd.poll() is not None or time.monotonic() > deadline:
            print('busybox httpd did not start', file=sys.stderr)
            failures.append('httpd start')
            finish()


def records():
    """The CGI runs so far, oldest first: (query, raw response or None)."""
    names = sorted(n[:-6] for n in os.listdir(OUT) if n.endswith('.query'))
    res = []
    for n in names:
        with open(os.path.join(OUT, n + '.query')) as f:
            q = f.read()
        p = os.path.join(OUT, n + '.resp')
        res.append((q, open(p, 'rb').read() if os.path.exists(p) else None))
    return res


def split_response(raw):
    head, _, body = raw.partition(b'\r\n\r\n')
    headers = dict(line.split(': ', 1) for line in head.decode().split('\r\n'))
    return headers, body


# ---- access: realm lines with busybox httpd ----
def http_status(path, auth=None):
    req = urllib.request.Request('http://%s:%d%s' % (LAN, PORT, path))
    if auth:
        req.add_header('Authorization', 'Basic ' + base64.b64encode(auth.encode()).decode())
    try:
        with urllib.request.urlopen(req, timeout=60) as r:
            return r.status
    except urllib.error.HTTPError as e:
        return e.code


runs_before = len(records())
for path in ('/tarvona-diag/', '/tarvona-diag/report.js', '/cgi-bin/tarvona_diag?tests=sys_cpu'):
    eq(401, http_status(path), 'no password: ' + path)
    eq(401, http_status(path, USER + ':wrong'), 'wrong password: ' + path)
    eq(401, http_status(path, 'admin:' + PASSWORD), 'other user: ' + path)
eq(runs_before, len(records()), 'the CGI never started without the right password')
for path in ('/tarvona-diag/', '/tarvona-diag/report.js', '/cgi-bin/tarvona_diag?tests=sys_cpu'):
    eq(200, http_status(path, USER + ':' + PASSWORD), 'right password: ' + path)
eq(runs_before + 1, len(records()), 'the CGI ran once with the right password')

# ---- the browser ----
missing = [p for p in (CHROMIUM, CHROMEDRIVER) if not os.access(p, os.X_OK)]
try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    missing.append('python3-selenium')
if missing:
    print('SKIPPED: the browser part of the page test needs %s (Debian packages chromium, '
          'chromium-driver, python3-selenium); only the access checks ran.' % ', '.join(missing))
    finish(SKIP if not failures else 1)

DL = os.path.join(WORK, 'downloads')
os.makedirs(DL)
opts = webdriver.ChromeOptions()
opts.binary_location = CHROMIUM
for a in FLAGS + ['--user-data-dir=' + os.path.join(WORK, 'profile'), '--window-size=1280,800']:
    opts.add_argument(a)
opts.add_experimental_option('prefs', {'download.default_directory': DL,
                                       'download.prompt_for_download': False})
try:
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=opts)
except Exception as e:  # a broken browser install is a failure, not a skip
    failures.append('Chromium did not start: %s' % e)
    finish()
driver.set_script_timeout(30)
PAGE = 'http://%s:%d/tarvona-diag/' % (LAN, PORT)


def wait(cond, what, timeout=90):
    try:
        return WebDriverWait(driver, timeout, poll_frequency=0.1).until(lambda d: cond())
    except Exception:
        check(False, 'timed out waiting for ' + what)
        return None


def js(script, *args):
    return driver.execute_script(script, *args)


def load(query=''):
    driver.get(PAGE.replace('//', '//%s:%s@' % (USER, PASSWORD), 1) + query)
    wait(lambda: js('return document.documentElement.dataset.ready') == '1', 'page ready')


def text(id_):
    return js('return document.getElementById(arguments[0]).textContent', id_)


def finished():
    """Waits until the run is over: the status says so or the error shows."""
    wait(lambda: not js('return document.getElementById("run").disabled'), 'end of the run')
    e = driver.find_element(By.ID, 'error')
    return e.text if e.is_displayed() else ''


def report_json_of(q):
    raw = [r for qq, r in records() if qq == q and r is not None][-1]
    return split_response(raw)


# The realm's credentials come from the URL of the first visit; Chromium
# keeps them for the realm, so the page's own requests to the CGI pass too.
load()
eq(False, js('return window.isSecureContext'), 'plain http to the router address')

# -- choose the tests: per group "none" / "all", single boxes --
def click_group(group, which):
    driver.find_element(By.XPATH, '//fieldset[legend="%s"]//button[.="%s"]' % (group, which)).click()


def set_box(key, on):
    box = driver.find_element(By.ID, 't-' + key)
    if box.is_selected() != on:
        box.click()


click_group('Сеть', 'ничего')
click_group('Сервисы', 'ничего')
for key in ('net_interfaces', 'net_links', 'net_routes', 'net_arp', 'svc_cron', 'svc_podkop',
            'svc_brimvale', 'svc_telemt', 'svc_firewall', 'svc_log'):
    set_box(key, True)
set_box('sys_disk', False)
set_box('sys_kernel', False)   # always on: the box is disabled, the click does nothing
expected_tests = ('sys_version,sys_kernel,sys_uptime,sys_cpu,sys_memory,sys_time,'
                  'net_interfaces,net_links,net_routes,net_arp,svc_cron,svc_firewall,svc_podkop,'
                  'svc_brimvale,svc_telemt,svc_log,svc_overlap')
eq('/cgi-bin/tarvona_diag?action=download&format=json&tests=' + expected_tests,
   js('return document.getElementById("dl-json").getAttribute("href")'), 'download link follows the choice')

driver.find_element(By.ID, 'run').click()
eq(True, js('return document.getElementById("run").disabled'), 'run button disabled while the report runs')
eq(True, driver.find_element(By.ID, 'progress').is_displayed(), 'progress shown while the report runs')
err = finished()
eq('', err, 'report run without error')
eq(False, driver.find_element(By.ID, 'progress').is_displayed(), 'progress hidden after the run')
q = 'format=json&tests=' + expected_tests
headers, body = report_json_of(q)
eq('application/json; charset=utf-8', headers.get('Content-Type'), 'CGI content type')
doc = json.loads(body)

# -- the sections show the document's values --
page = js('''
  var rows = function (caption) {
    var t = [].find.call(document.querySelectorAll('#report table'), function (x) {
      return x.caption.textContent === caption; });
    if (!t) return null;
    return [].map.call(t.tBodies[0].rows, function (tr) {
      return [].map.call(tr.cells, function (c) { return c.textContent; }); });
  };
  var svcs = [].map.call(document.querySelectorAll('#report article.svc'), function (a) {
    var d = a.querySelector('details');
    return { name: a.querySelector('h3').textContent,
             badges: [].map.call(a.querySelectorAll('.badge'), function (b) { return b.textContent; }),
             config: d ? d.querySelector('pre').textContent : null, open: d ? d.open : null }; });
  var log = [].find.call(document.querySelectorAll('#report details'), function (d) {
    return d.querySelector('summary').textContent === 'Системный лог'; });
  return { headings: [].map.call(document.querySelectorAll('#report h2, #report h3'), function (h) { return h.textContent; }),
           ifaces: rows('Сетевые интерфейсы'), links: rows('Статус линков'), routes: rows('Таблица маршрутизации'),
           sections: rows('Секции'), conflicts: rows('Конфликты'), nslookup: rows('NSLookup'), svcs: svcs,
           arp: [].find.call(document.querySelectorAll('#report .block'), function (x) {
             return x.querySelector('h3').textContent === 'ARP таблица'; }).querySelector('pre').textContent,
           log: log ? log.querySelector('pre').textContent : null, logOpen: log ? log.open : null,
           meta: document.querySelector('#report .meta').textContent,
           all: document.getElementById('report').textContent };
''')
net = doc['network']
eq([[r['name'], r['status'], r['ip']] for r in net['interfaces']], page['ifaces'], 'interfaces table')
eq([[r['name'], r['status'], r['mac']] for r in net['links']], page['links'], 'links table')
eq([[r['destination'], r['gateway'] or '-', r['device'], r['metric']] for r in net['routes']],
   page['routes'], 'routes table')
eq(net['arp'], page['arp'], 'ARP text')
check(doc['timestamp'] in page['meta'] and doc['hostname'] in page['meta'], 'date and host name shown')
for absent in ('Дисковое пространство', 'IPv6 маршруты', 'Статистика трафика', 'Проверка связи'):
    check(absent not in page['headings'], 'block of an unselected test shown: ' + absent)
for present in ('Система', 'Сеть', 'Сервисы', 'Версия OpenWrt', 'Загрузка CPU', 'Память',
                'Анализ списков и пересечений'):
    check(present in page['headings'], 'block missing: ' + present)


def badges(s):
    if s.get('hidden'):
        return []
    return ['[✓] работает (PID: %d)' % s['pid'] if s['running'] else '[✗] остановлен',
            '[✓] включён' if s['enabled'] else '[✗] выключен']


eq([{'name': s['name'], 'badges': badges(s), 'config': s.get('config'), 'open': False if 'config' in s else None}
    for s in doc['services']], page['svcs'], 'services with badges and collapsed configuration')
eq(doc['log'], page['log'], 'system log text')
eq(False, page['logOpen'], 'system log collapsed')
ov = doc['overlap']
eq([[svc, s['name'], s['type'], s.get('interface', ''), ', '.join(s['lists'])]
    for svc in ('podkop', 'brimvale') for s in ov.get(svc + '_sections', [])],
   page['sections'], 'list sections table')
eq([['⚠ ' + c['list'], c['service'], c['section'],
     ', '.join(w.replace(' (*)', ' (весь трафик)') for w in c['conflicts_with'])] for c in ov['conflicts']] or None,
   page['conflicts'], 'conflicts table')
check(ov['conflicts'] or 'Конфликтов не обнаружено.' in page['all'], 'no conflicts said in words')
eq([[r['domain'], r['ip']] for r in ov.get('nslookup', [])] or None, page['nslookup'], 'NSLookup table')

# -- masked values stay masked --
fx = os.path.join(SAMPLE, 'root', 'usr', 'share', 'fakecmd')
raw_macs = set(re.findall(r'(?:[0-9a-f]{2}:){5}[0-9a-f]{2}', open(os.path.join(fx, 'ip_-br_link')).read(), re.I))
raw_macs.discard('00:00:00:00:00:00')
wan_ip = re.search(r'^pppoe-wan\s+\S+\s+(\S+)', open(os.path.join(fx, 'ip_-br_addr')).read(), re.M).group(1)
check(bool(raw_macs) and wan_ip, 'fixture holds MAC and WAN addresses to hide')
shown = page['all']
for secret in sorted(raw_macs) + [wan_ip, 'CANARY']:
    check(secret.lower() not in shown.lower(), 'unmasked value on the page: ' + secret)
check(any(r['ip'] and r['ip'] in shown for r in net['interfaces'] if r['name'] == 'pppoe-wan'),
      'masked WAN address shown as the report masks it')
check('***' in shown, 'masked configuration values shown')

# -- copy: the text report, the program's own bytes --
driver.find_element(By.ID, 'copy').click()
wait(lambda: 'скопирован' in text('status') or 'ещё раз' in text('status'), 'copy status')
if 'ещё раз' in text('status'):   # the copy command needs a fresh click on plain http
    driver.find_element(By.ID, 'copy').click()
    wait(lambda: 'скопирован' in text('status'), 'copy on the second click')
headers, text_body = report_json_of('format=text&tests=' + expected_tests)
eq('text/plain; charset=utf-8', headers.get('Content-Type'), 'text report content type')
page_tab = driver.current_window_handle
driver.switch_to.new_window('tab')
driver.get('http://127.0.0.1:%d/' % PORT)  # a secure context, where the clipboard can be read
driver.execute_cdp_cmd('Emulation.setFocusEmulationEnabled', {'enabled': True})
driver.execute_cdp_cmd('Browser.grantPermissions', {'origin': 'http://127.0.0.1:%d' % PORT,
                                                    'permissions': ['clipboardReadWrite']})
READ_CLIPBOARD = ('var done = arguments[0]; '
                  'navigator.clipboard.readText().then(done, function (e) { done("ERROR " + e); });')
eq(text_body.decode(), driver.execute_async_script(READ_CLIPBOARD), 'clipboard holds the text report')

# The same page in a secure context (https on a router; here localhost)
# copies through the Clipboard API, at the first click.
driver.get('http://%s:%s@127.0.0.1:%d/tarvona-diag/' % (USER, PASSWORD, PORT))
wait(lambda: js('return document.documentElement.dataset.ready') == '1', 'page ready on localhost')
eq(True, js('return window.isSecureContext && !!navigator.clipboard'), 'localhost has the Clipboard API')
for group in ('Система', 'Сеть', 'Сервисы'):
    click_group(group, 'ничего')
set_box('svc_overlap', False)
driver.find_element(By.ID, 'copy').click()
wait(lambda: 'скопирован' in text('status'), 'copy through the Clipboard API')
eq(report_json_of('format=text&tests=sys_version,sys_kernel,sys_uptime,sys_time')[1].decode(),
   driver.execute_async_script(READ_CLIPBOARD), 'Clipboard API: the system tests only')
driver.close()
driver.switch_to.window(page_tab)


# -- downloads: the CGI's download action, file name and bytes its own --
def download(link, fmt):
    before = set(os.listdir(DL))
    driver.find_element(By.ID, link).click()
    got = wait(lambda: [n for n in set(os.listdir(DL)) - before
                        if not n.endswith('.crdownload') and not n.startswith('.')], 'download of ' + fmt)
    if not got:
        return
    raw = report_json_of('action=download&format=%s&tests=%s' % (fmt, expected_tests))
    headers, body = raw
    eq('attachment; filename="%s"' % got[0], headers.get('Content-Disposition'), fmt + ' download file name')
    eq(body, open(os.path.join(DL, got[0]), 'rb').read(), fmt + ' download bytes')


download('dl-txt', 'text')
download('dl-json', 'json')

# -- failures: each shows its message, the page stays usable --
ERRORS = [  # mode, texts the message must hold
    ('crash', ['Сервер не ответил', 'без HTTP-ответа']),
    ('bad_gateway', ['HTTP 502', 'The CGI process did not produce any response']),
    ('garbage', ['не является отчётом в формате JSON', 'HTTP 200', '<html><body>Internal error']),
    ('truncated', ['не является отчётом в формате JSON', 'HTTP 200']),
    ('gateway_timeout', ['HTTP 504', 'время ожидания истекло']),
]
report_before = text('report')
for mode, texts in ERRORS:
    set_mode(mode)
    driver.find_element(By.ID, 'run').click()
    msg = finished()
    for t in texts:
        check(t in msg, '%s: %r not in the message %r' % (mode, t, msg))
    eq(report_before, text('report'), mode + ': the last good report stays')

# Report texts come from the router and its clients (DHCP host names reach
# the log, neighbours' network names the wireless scan): markup in them is
# shown as text and never runs.
MARKUP = '<img src=x onerror="window.pwned=1">'
canned = dict(doc)
canned['hostname'] = MARKUP
canned['log'] = doc['log'] + 'dnsmasq-dhcp: DHCPACK(br-lan) 192.168.1.50 ' + MARKUP + '\n'
canned['network'] = dict(net, interfaces=net['interfaces'] + [{'name': MARKUP, 'status': 'UP', 'ip': ''}])
canned['services'] = [dict(doc['services'][0], name='<b>svc</b>', config=MARKUP)] + doc['services'][1:]
with open(os.path.join(WORK, 'canned.json'), 'w') as f:
    json.dump(canned, f)
set_mode('canned')
driver.find_element(By.ID, 'run').click()
eq('', finished(), 'report with markup in its texts')
eq([0, 0, None], js('var r = document.getElementById("report"); '
                    'return [r.querySelectorAll("img").length, r.querySelectorAll("b").length, window.pwned || null]'),
   'markup from the report is not turned into elements')
eq(4, js('return document.getElementById("report").textContent.split(arguments[0]).length - 1', MARKUP),
   'markup shown as text (host name, interface, configuration, log)')

# A CGI that never answers: the page's own time-out (shortened by ?timeout=).
set_mode('slow')
load('?timeout=2')
driver.find_element(By.ID, 'run').click()
wait(lambda: 'Выполняется отчёт… 1 с' in text('progress-text'), 'progress counting seconds')
eq(True, js('return document.getElementById("run").disabled'), 'slow: run button disabled while waiting')
msg = finished()
check('Время ожидания истекло' in msg and '2 с' in msg and 'HTTP-ответа нет' in msg, 'slow: time-out message %r' % msg)
with open(FIFO, 'w') as f:   # let the stalled CGI end
    f.write('go\n')

# -- the whole report by keyboard, then the screenshots --
set_mode('report')
load()
body_el = driver.find_element(By.TAG_NAME, 'body')
for _ in range(80):
    body_el = driver.switch_to.active_element
    if body_el.get_attribute('id') == 'run':
        break
    body_el.send_keys(Keys.TAB)
eq('run', driver.switch_to.active_element.get_attribute('id'), 'run button reachable with Tab')
driver.switch_to.active_element.send_keys(Keys.ENTER)
eq('', finished(), 'full report run from the keyboard')
full = json.loads(report_json_of('format=json&tests=' + js(
    'return document.getElementById("dl-json").getAttribute("href").split("tests=")[1]'))[1])
eq(len(full['services']), js('return document.querySelectorAll("#report article.svc").length'), 'every service shown')

os.makedirs(SHOTS, exist_ok=True)
for w, h, mobile in ((360, 740, True), (1280, 800, False)):
    driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                           {'width': w, 'height': h, 'deviceScaleFactor': 1, 'mobile': mobile})
    js('window.scrollTo(0, 0)')
    eq(True, js('var e = document.documentElement; return e.scrollWidth <= e.clientWidth'),
       'no sideways scrolling at %d px' % w)
    if w == 360:   # the phone shot shows the services, past the test choice
        js('document.getElementById("r-services").scrollIntoView()')
    path = os.path.join(SHOTS, 'page-%dx%d.png' % (w, h))
    driver.save_screenshot(path)
    check(os.path.getsize(path) > 5000, 'screenshot written: ' + path)
print('screenshots in', SHOTS)
finish()
