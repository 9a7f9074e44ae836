"""The screen in a real browser: after an apply through the library, the page
shows the new switches and files within two seconds, and every plot carries
exactly the numbers of /trace.json, one point per sweep point."""
import json
import os
import time
import urllib.request

import pytest
from conftest import BUILD, Emulator, run_driver

SCREENSHOT = os.environ.get("QVZ_SCREENSHOT", str(BUILD / "tests" / "browser" / "screen.png"))


def fetch_json(url):
    with urllib.request.urlopen(url, timeout=5) as response:
        return json.load(response)


def page_state(driver):
    """What the page shows: per port, its switches and files; per channel, its switches."""
    return driver.execute_script("""
      const ports = {};
      for (const card of document.querySelectorAll('section.port')) {
        const text = sel => card.querySelector(sel).textContent;
        ports[card.dataset.port] = {
          deembedding: text('.fixture [data-switch=deembedding]'), deembeddingFile: text('[data-file=deembedding]'),
          matching: text('.fixture [data-switch=matching]'), matchingFile: text('[data-file=matching]')};
      }
      const channels = {};
      for (const row of document.querySelectorAll('#channels tbody tr')) {
        channels[row.dataset.channel] = [...row.querySelectorAll('[data-switch]')].map(s => s.textContent).join(' ');
      }
      return {ports, channels};
    """)


def plotted(driver, port):
    """Each plot of a port card: its kind, its axes and each series' points."""
    return driver.execute_script("""
      const card = document.querySelector(`section.port[data-port="${arguments[0]}"]`);
      return [...card.querySelectorAll('svg[data-plot]')].map(svg => ({
        kind: svg.dataset.plot, axes: Object.assign({}, svg.dataset),
        network: svg.closest('[data-network]') ? svg.closest('[data-network]').dataset.network : null,
        series: Object.fromEntries([...svg.querySelectorAll('polyline')].map(line =>
          [line.dataset.series, line.getAttribute('points').trim().split(/\\s+/).filter(p => p)
            .map(p => p.split(',').map(Number))]))}));
    """, port)


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(0.05)


def expected_after_apply(directory):
    return {
        "1": {"deembedding": "ON", "deembeddingFile": f"{directory}/Screen_Port1.s2p",
              "matching": "OFF", "matchingFile": "no file"},
        "2": {"deembedding": "OFF", "deembeddingFile": "no file",
              "matching": "ON", "matchingFile": f"{directory}/Screen_Port2.s2p"},
    }


def shows_the_apply(driver, directory):
    shown = page_state(driver)
    want = expected_after_apply(directory)
    return all(shown["ports"].get(port) == value for port, value in want.items()) and \
        shown["channels"].get("1") == "ON ON ON"


def check_plots_equal_trace(driver, emulator, port, step=1):
    trace = fetch_json(f"{emulator.url}trace.json?ch=1&port={port}&step={step}")
    points = len(trace["frequencies"])
    plots = plotted(driver, port)
    kinds = sorted(p["kind"] for p in plots)
    assert kinds == sorted(["smith", "returnloss"] + ["network"] * len(trace["networks"]))
    for plot in plots:
        axes = {k: float(v) for k, v in plot["axes"].items() if k != "plot"}
        for name, xy in plot["series"].items():
            assert len(xy) == points, f"port {port} {plot['kind']} {name}: {len(xy)} points for {points}"
            if plot["kind"] == "smith":
                want = trace[name]
                got = [((x - axes["cx"]) / axes["r"], (axes["cy"] - y) / axes["r"]) for x, y in xy]
                tolerance = 0.0006 / axes["r"]  # coordinates carry three decimals
                for (re, im), (wre, wim) in zip(got, want):
                    assert abs(re - wre) <= tolerance and abs(im - wim) <= tolerance
                continue
            if plot["kind"] == "returnloss":
                want = trace["rawReturnLossDb" if name == "raw" else "simulatedReturnLossDb"]
            else:
                network = next(n for n in trace["networks"] if n["function"] == plot["network"])
                want = network["s21Db" if name == "s21" else "s11Db"]
            top, bottom = axes["top"], axes["bottom"]
            value_per_px = abs(bottom - top) / (axes["y1"] - axes["y0"])
            hz_per_px = (axes["f1"] - axes["f0"]) / (axes["x1"] - axes["x0"])
            for (x, y), f, v in zip(xy, trace["frequencies"], want):
                shown_f = axes["f0"] + (x - axes["x0"]) * hz_per_px
                shown_v = top + (y - axes["y0"]) * (bottom - top) / (axes["y1"] - axes["y0"])
                clamped = min(max(v, min(top, bottom)), max(top, bottom))
                assert abs(shown_f - f) <= 0.0006 * hz_per_px + 1e-6 * abs(f)
                assert abs(shown_v - clamped) <= 0.0006 * value_per_px


def test_page_follows_an_apply_and_plots_the_trace(emulator, browser, workdir):
    browser.get(emulator.url)
    assert wait_for(lambda: browser.execute_script("return document.body.dataset.renderedState"), 5)
    assert page_state(browser)["channels"]["1"] == "OFF OFF OFF"

    applied = run_driver(emulator, workdir)
    assert applied.returncode == 0, applied.stdout + applied.stderr
    started = time.monotonic()
    assert wait_for(lambda: shows_the_apply(browser, workdir), 2.0), page_state(browser)
    print(f"page showed the apply {time.monotonic() - started:.2f} s after the library returned")

    for port in (1, 2, 3, 4):
        check_plots_equal_trace(browser, emulator, port)
    titles = browser.execute_script(
        "return [...document.querySelectorAll('.network h3')].map(h => h.textContent)")
    assert titles == [f"De-embedding network (applied): {workdir}/Screen_Port1.s2p",
                      f"Matching circuit (applied): {workdir}/Screen_Port2.s2p"]
    os.makedirs(os.path.dirname(SCREENSHOT), exist_ok=True)
    assert browser.save_screenshot(SCREENSHOT)


def test_page_stays_live_under_eight_applying_clients(emulator, browser, workdir):
    browser.get(emulator.url)
    assert wait_for(lambda: browser.execute_script("return document.body.dataset.renderedState"), 5)
    first = int(browser.execute_script("return document.body.dataset.renderedState"))
    load = run_driver(emulator, workdir, "--clients", "8", "--seconds", "10", timeout=120)
    print(load.stdout.strip())
    assert load.returncode == 0, load.stdout + load.stderr
    renders = int(browser.execute_script("return document.body.dataset.renderedState"))
    print(f"page re-rendered {renders - first} times during the load")
    assert renders > first
    # Once the clients stop, the page settles on the final state and its plots
    # are the final numbers.
    final = json.dumps(fetch_json(f"{emulator.url}state.json"), sort_keys=True)

    def settled():
        shown = browser.execute_script("return lastState")
        return shown and json.dumps(json.loads(shown), sort_keys=True) == final
    assert wait_for(settled, 2.0)
    assert browser.find_element("id", "live").text == "live"
    for port in (1, 2):
        check_plots_equal_trace(browser, emulator, port)


def test_a_long_sweep_is_drawn_from_every_kth_point(browser):
    emulator = Emulator("--points", "3002")
    try:
        browser.get(emulator.url)
        assert wait_for(lambda: browser.execute_script("return document.body.dataset.renderedState"), 10)
        # 3002 points, at most 1001 drawn: every 3rd point and the last, 1002.
        trace = fetch_json(f"{emulator.url}trace.json?ch=1&port=1&step=3")
        assert len(trace["frequencies"]) == 1002
        assert trace["frequencies"][-1] == 8.5e9
        check_plots_equal_trace(browser, emulator, 1, step=3)
    finally:
        emulator.stop()
