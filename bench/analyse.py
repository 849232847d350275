#!/usr/bin/env python3
"""Turns the benchmark's raw measurements into bench/results/: results.json, results.md and
throughput.png, and prints the table and the ratios against the targets.

Usage: analyse.py <raw results> <payload directory> <bin directory> <results directory>
"""
import datetime
import json
import os
import platform
import statistics
import subprocess
import sys

SETS = ["1M", "64M", "128M", "256M", "384M", "full"]
MIB = 1024 * 1024


def read_raw(path):
    runs = {}
    with open(path) as raw:
        for line in raw:
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 4:
                continue
            _, label, value, code = fields[:4]
            if label == "warm":
                continue
            runs.setdefault(label, []).append({"value": float(value), "exit": int(code)})
    return runs


def tree_size(path):
    total = 0
    for folder, _, files in os.walk(path):
        total += sum(os.path.getsize(os.path.join(folder, name)) for name in files)
    return total


def summary(runs, label):
    values = [run["value"] for run in runs.get(label, []) if run["value"] >= 0]
    failed = [run for run in runs.get(label, []) if run["value"] < 0 or run["exit"] != 0]
    if not values:
        return None
    return {
        "runs": len(values),
        "min": min(values),
        "median": statistics.median(values),
        "max": max(values),
        "values": values,
        "failed_runs": len(failed),
    }


def execution_32bit():
    """How this host runs Wine's 32-bit programs: natively, or under qemu-i386 registered
    with binfmt_misc (a kernel without 32-bit emulation), which then answers QEMU_VERSION."""
    try:
        out = subprocess.run(["/usr/lib/wine/wine", "--version"], capture_output=True, text=True,
                             env=dict(os.environ, QEMU_VERSION="1")).stdout
    except OSError:
        return "unknown"
    first = out.strip().splitlines()[0] if out.strip() else ""
    return f"emulated ({first})" if first.startswith("qemu-i386") else "native"


def machine():
    memory_kb = 0
    with open("/proc/meminfo") as info:
        for line in info:
            if line.startswith("MemTotal:"):
                memory_kb = int(line.split()[1])
    try:
        wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    except OSError:
        wine = "unknown"
    load = os.getloadavg()
    return {
        "execution_32bit": execution_32bit(),
        "date": datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="seconds"),
        "nproc": os.cpu_count(),
        "memory_mib": memory_kb // 1024,
        "kernel": platform.release(),
        "wine": wine,
        "load_average_at_end": [round(value, 2) for value in load],
    }


def ratio(numerator, denominator, key="median"):
    if not numerator or not denominator or denominator[key] == 0:
        return None
    return numerator[key] / denominator[key]


def verdict(value, limit):
    if value is None:
        return "not measured"
    return "met" if value <= limit else "missed"


def main():
    raw_path, payloads, bin_dir, out = sys.argv[1:5]
    runs = read_raw(raw_path)
    os.makedirs(out, exist_ok=True)

    stats = {label: summary(runs, label) for label in sorted(runs)}
    sizes = {name: tree_size(os.path.join(payloads, name)) for name in SETS}
    package_bytes = os.path.getsize(os.path.join(payloads, "full", "Orvanta.msi"))
    bare_bytes = os.path.getsize(os.path.join(bin_dir, "OrvantaSetup-bare.exe"))
    full_bytes = os.path.getsize(os.path.join(bin_dir, "OrvantaSetup-full.exe"))

    # Throughput against size: whole runs, and the marginal rate between neighbouring sizes
    # (which leaves out the fixed cost of starting Wine and the setup UI). On a shared machine
    # the fastest of the runs is the least disturbed one, so the scaling uses the minimums.
    scaling = []
    for name in SETS:
        install, plain = stats.get("install_" + name), stats.get("plain_" + name)
        if not install:
            continue
        row = {"set": name, "bytes": sizes[name], "install_ms": install["min"]}
        row["install_mib_s"] = sizes[name] / MIB / (install["min"] / 1000)
        if plain:
            row["plain_ms"] = plain["min"]
            row["plain_mib_s"] = sizes[name] / MIB / (plain["min"] / 1000)
        scaling.append(row)
    for previous, row in zip(scaling, scaling[1:]):
        delta_ms = row["install_ms"] - previous["install_ms"]
        delta_mib = (row["bytes"] - previous["bytes"]) / MIB
        row["install_marginal_mib_s"] = delta_mib / (delta_ms / 1000) if delta_ms > 0 else None
    # Least-squares line through the install times from 64 MiB up: time = fixed + size / rate.
    fit_rows = [row for row in scaling if row["set"] != "1M"]
    fit = None
    if len(fit_rows) >= 2:
        xs = [row["bytes"] / MIB for row in fit_rows]
        ys = [row["install_ms"] for row in fit_rows]
        mean_x, mean_y = statistics.mean(xs), statistics.mean(ys)
        slope = sum((x - mean_x) * (y - mean_y) for x, y in zip(xs, ys)) / sum(
            (x - mean_x) ** 2 for x in xs)
        fixed = mean_y - slope * mean_x
        residual = sum((y - fixed - slope * x) ** 2 for x, y in zip(xs, ys))
        total = sum((y - mean_y) ** 2 for y in ys)
        fit = {"fixed_ms": fixed, "rate_mib_s": 1000 / slope if slope > 0 else None,
               "r_squared": 1 - residual / total if total else None}
    plain_rows = [row for row in fit_rows if "plain_ms" in row]
    if len(plain_rows) >= 2 and fit:
        xs = [row["bytes"] / MIB for row in plain_rows]
        ys = [row["plain_ms"] for row in plain_rows]
        mean_x, mean_y = statistics.mean(xs), statistics.mean(ys)
        slope = sum((x - mean_x) * (y - mean_y) for x, y in zip(xs, ys)) / sum(
            (x - mean_x) ** 2 for x in xs)
        fit["plain_fixed_ms"] = mean_y - slope * mean_x
        fit["plain_rate_mib_s"] = 1000 / slope if slope > 0 else None

    # A super-linear step would make bytes dearer as the size grows: the rate over the upper
    # half of the sizes (256 MiB to full) is compared with that over the lower half (64 to
    # 256 MiB). Two steps each, so that one disturbed run does not decide.
    by_set = {row["set"]: row for row in scaling}
    flat = None
    halves = {}
    if all(name in by_set for name in ("64M", "256M", "full")):
        def rate(a, b):
            delta_ms = by_set[b]["install_ms"] - by_set[a]["install_ms"]
            delta_mib = (by_set[b]["bytes"] - by_set[a]["bytes"]) / MIB
            return delta_mib / (delta_ms / 1000) if delta_ms > 0 else float("inf")
        halves = {"lower_mib_s": rate("64M", "256M"), "upper_mib_s": rate("256M", "full")}
        flat = halves["upper_mib_s"] >= 0.7 * halves["lower_mib_s"]
        if fit:
            fit.update(halves)

    rss_full, rss_small = stats.get("rss_full"), stats.get("rss_1M")
    rss_excess_kb = rss_full["median"] - rss_small["median"] if rss_full and rss_small else None
    targets = {
        "install_vs_plain_copy": {
            "ratio": ratio(stats.get("install_full"), stats.get("plain_full")),
            "ratio_of_minimums": ratio(stats.get("install_full"), stats.get("plain_full"), "min"),
            "limit": 1.10,
        },
        "peak_memory_full_minus_1M_kib": {"value": rss_excess_kb, "limit": 4096},
        "extract_vs_plain_copy_of_package": {
            "ratio": ratio(stats.get("extract_full"), stats.get("plain_package")),
            "ratio_of_minimums": ratio(stats.get("extract_full"), stats.get("plain_package"),
                                       "min"),
            "limit": 1.5,
        },
        "help_vs_message_box": {
            "ratio": ratio(stats.get("help_full"), stats.get("messagebox")),
            "ratio_of_minimums": ratio(stats.get("help_full"), stats.get("messagebox"), "min"),
            "limit": 1.2,
        },
        "first_window_on_slow_medium_ms": {
            "value": stats["slow_full"]["median"] if stats.get("slow_full") else None,
            "limit": 2000},
        "install_rate_vs_plain_copy_rate": {
            "value": (fit["rate_mib_s"] / fit["plain_rate_mib_s"]
                      if fit and fit.get("rate_mib_s") and fit.get("plain_rate_mib_s") else None),
            "rule": "at least 0.9"},
        "throughput_flat": {"flat": flat, "rule": "rate 256 MiB..full >= 0.7 x rate 64..256 MiB",
                            **{key: round(value, 1) for key, value in halves.items()}},
    }
    # What the install run does beyond the plain copy, whatever the size: Wine's start-up of a
    # program with more DLLs, the workspace, and starting and waiting for the setup UI.
    fixed = {}
    for key, a, b in (("install_minus_plain_1M_ms", "install_1M", "plain_1M"),
                      ("install_minus_plain_full_ms", "install_full", "plain_full")):
        if stats.get(a) and stats.get(b):
            fixed[key] = stats[a]["median"] - stats[b]["median"]
    if stats.get("savedialog") and stats.get("messagebox_manifest"):
        fixed["save_dialog_minus_message_box_with_manifest_ms"] = (
            stats["savedialog"]["median"] - stats["messagebox_manifest"]["median"])
    if stats.get("extract_full_work") and stats.get("plain_package"):
        fixed["extract_work_vs_plain_copy_of_package"] = (
            stats["extract_full_work"]["median"] / stats["plain_package"]["median"])
    if stats.get("install_full") and stats.get("plain_full") and stats.get("setupui_alone"):
        fixed["install_vs_plain_copy_plus_setup_ui_start"] = stats["install_full"]["median"] / (
            stats["plain_full"]["median"] + stats["setupui_alone"]["median"])
    for key, other in (("help_vs_message_box_with_manifest", "messagebox_manifest"),
                       ("help_vs_message_box_with_all", "messagebox_all"),
                       ("message_box_with_all_vs_message_box", None)):
        numerator = stats.get("messagebox_all") if other is None else stats.get("help_full")
        denominator = stats.get("messagebox") if other is None else stats.get(other)
        if numerator and denominator:
            fixed[key] = numerator["median"] / denominator["median"]
    for key in ("install_vs_plain_copy", "extract_vs_plain_copy_of_package",
                "help_vs_message_box"):
        targets[key]["verdict"] = verdict(targets[key]["ratio"], targets[key]["limit"])
    targets["peak_memory_full_minus_1M_kib"]["verdict"] = verdict(rss_excess_kb, 4096)
    targets["first_window_on_slow_medium_ms"]["verdict"] = verdict(
        targets["first_window_on_slow_medium_ms"]["value"], 2000)
    rate_ratio = targets["install_rate_vs_plain_copy_rate"]["value"]
    targets["install_rate_vs_plain_copy_rate"]["verdict"] = (
        "not measured" if rate_ratio is None else ("met" if rate_ratio >= 0.9 else "missed"))
    targets["throughput_flat"]["verdict"] = (
        "not measured" if flat is None else ("met" if flat else "missed"))

    slow_medium = "not measured"
    slow_file = os.path.join(os.path.dirname(raw_path), "slow-medium.txt")
    if os.path.exists(slow_file):
        with open(slow_file) as file:
            slow_medium = file.read().strip()

    # The payload check's candidates by themselves, in memory (label, MB/s).
    digest_speeds = []
    digest_chosen = None
    digest_file = os.path.join(os.path.dirname(raw_path), "digest-speed.tsv")
    if os.path.exists(digest_file):
        with open(digest_file) as file:
            for line in file:
                fields = line.strip().split("\t")
                if fields[0] == "chosen" and len(fields) == 2:
                    digest_chosen = fields[1]
                    continue
                try:
                    digest_speeds.append((fields[0], float(fields[1])))
                except (IndexError, ValueError):
                    pass

    properties_file = os.path.join(os.path.dirname(raw_path), "extract-properties.txt")
    extract_properties = None
    if os.path.exists(properties_file):
        with open(properties_file) as file:
            extract_properties = [line.rstrip("\n") for line in file if line.strip()]

    result = {
        "machine": machine(),
        "digest_mb_s": dict(digest_speeds),
        "digest_kernel_chosen": digest_chosen,
        "payload_bytes": sizes,
        "package_bytes": package_bytes,
        "executable_bytes": {"without_payloads": bare_bytes, "full": full_bytes},
        "measurements": stats,
        "scaling": scaling,
        "scaling_fit": fit,
        "targets": targets,
        "decomposition": fixed,
        "extract_committed_properties": extract_properties,
    }
    with open(os.path.join(out, "results.json"), "w") as file:
        json.dump(result, file, indent=2)
        file.write("\n")

    # The table.
    names = [
        ("install_full", "1. install run, start to exit, full size", "ms"),
        ("plain_full", "2. plain Win32 copy + delete of the same files (Wine)", "ms"),
        ("cp_full", "3. native cp -r + rm of the same bytes", "ms"),
        ("dd_full", "3b. native dd bs=1M + rm of the same bytes", "ms"),
        ("rss_full", "4. peak RSS of the install run, full size", "KiB"),
        ("rss_1M", "4. peak RSS of the install run, 1 MiB payload set", "KiB"),
        ("extract_full", "5. /extract through the dialogs, edit and commit", "ms"),
        ("extract_full_options", "5a. of which: start to the option dialog", "ms"),
        ("extract_full_save_as", "5b. of which: Create to the Save As dialog", "ms"),
        ("extract_full_work", "5c. of which: Save to the result dialog (copy, rows, commit)", "ms"),
        ("plain_package", "5. plain Win32 copy of the package (Wine), kept", "ms"),
        ("help_full", "6. /help to first window, full size", "ms"),
        ("help_bare", "6b. /help to first window, no payloads", "ms"),
        ("messagebox", "6. trivial message box program to first window", "ms"),
        ("messagebox_manifest", "6c. the same with the bootstrapper's manifest", "ms"),
        ("messagebox_imports", "6d. the same importing the bootstrapper's DLLs", "ms"),
        ("messagebox_all", "6e. the same with manifest, imports, static stream, large address space", "ms"),
        ("savedialog", "6f. the save dialog alone (same call, manifest) to its window", "ms"),
        ("setupui_alone", "setup UI stand-in alone, start to exit", "ms"),
        ("slow_full", "8. first visible window (the progress window), executable on a slow medium", "ms"),
        ("slow_full_end", "8a. the same run, start to exit (the setup UI starts after the layout)", "ms"),
    ]
    m = result["machine"]
    lines = [
        "# Full-size benchmark results",
        "",
        f"Date {m['date']}, nproc {m['nproc']}, memory {m['memory_mib']} MiB, {m['wine']}, "
        f"kernel {m['kernel']}, load average at the end {m['load_average_at_end']}.",
        f"32-bit code: {m['execution_32bit']}.",
        f"Slow medium (item 8): {slow_medium}.",
        f"Full payload set {sizes['full']:,} bytes (package {package_bytes:,}); executable "
        f"{full_bytes:,} bytes with payloads, {bare_bytes:,} bytes without (item 7).",
        "",
        "| Measurement | unit | runs | min | median | max |",
        "| --- | --- | ---: | ---: | ---: | ---: |",
    ]
    for label, text, unit in names:
        s = stats.get(label)
        if s:
            lines.append(f"| {text} | {unit} | {s['runs']} | {s['min']:.1f} | {s['median']:.1f} "
                         f"| {s['max']:.1f} |")
        else:
            lines.append(f"| {text} | {unit} | 0 | - | - | - |")
    lines += ["", "Scaling (install run and plain copy, minimums of the runs):", "",
              "| set | bytes | install ms | install MiB/s | marginal MiB/s | plain ms | plain MiB/s |",
              "| --- | ---: | ---: | ---: | ---: | ---: | ---: |"]
    for row in scaling:
        marginal_rate = row.get("install_marginal_mib_s")
        lines.append(
            f"| {row['set']} | {row['bytes']:,} | {row['install_ms']:.1f} | "
            f"{row['install_mib_s']:.1f} | "
            f"{'-' if marginal_rate is None else format(marginal_rate, '.1f')} | "
            f"{row.get('plain_ms', 0):.1f} | {row.get('plain_mib_s', 0):.1f} |")
    if fit:
        lines += ["", f"Fit from 64 MiB up: install run fixed {fit['fixed_ms']:.1f} ms, rate "
                  f"{fit['rate_mib_s'] or 0:.1f} MiB/s, R² {fit['r_squared'] or 0:.4f}; plain copy "
                  f"fixed {fit.get('plain_fixed_ms', 0):.1f} ms, rate "
                  f"{fit.get('plain_rate_mib_s') or 0:.1f} MiB/s."]
    lines += ["", "| Target | value | limit | verdict |", "| --- | ---: | ---: | --- |"]
    for key, target in targets.items():
        if "ratio" in target:
            value = "-" if target["ratio"] is None else (
                f"{target['ratio']:.3f} (mins {target['ratio_of_minimums']:.3f})")
            lines.append(f"| {key} | {value} | {target['limit']} | {target['verdict']} |")
        elif "value" in target:
            value = "-" if target["value"] is None else (
                f"{target['value']:.3f}" if target["value"] < 10 else f"{target['value']:.0f}")
            limit = target.get("limit", target.get("rule"))
            lines.append(f"| {key} | {value} | {limit} | {target['verdict']} |")
        else:
            value = (f"{target.get('upper_mib_s', 0):.0f} vs {target.get('lower_mib_s', 0):.0f} MiB/s"
                     if "upper_mib_s" in target else "-")
            lines.append(f"| {key} | {value} | {target['rule']} | {target['verdict']} |")
    if digest_speeds:
        lines += ["", "9. The payload check's candidates by themselves (256 MiB from one 1 MiB "
                  "buffer, best of 3; `digestspeed.exe`), MB/s: "
                  + "; ".join(f"{label} {speed:.1f}" for label, speed in digest_speeds)
                  + (f"; the bootstrapper takes {digest_chosen} here" if digest_chosen else "")]
    if extract_properties:
        lines += ["", "Property rows of the package made by the last /extract run: "
                  + "; ".join(p.replace("\t", " = ") for p in extract_properties)]
    if fixed:
        lines += ["", "Decomposition (medians):", ""]
        lines += [f"- {key}: {value:.3f}" for key, value in fixed.items()]
    table = "\n".join(lines) + "\n"
    with open(os.path.join(out, "results.md"), "w") as file:
        file.write(table)
    print(table)

    # The plot: whole-run throughput, and the throughput net of the fixed cost (the time of the
    # 1 MiB run), which stays level when every byte costs the same whatever the size.
    data = os.path.join(out, "throughput.dat")
    base = by_set.get("1M", {})
    with open(data, "w") as file:
        file.write("# MiB install_MiB_s plain_MiB_s install_net_MiB_s plain_net_MiB_s\n")
        for row in scaling:
            mib = row["bytes"] / MIB
            net = []
            for key in ("install_ms", "plain_ms"):
                extra = row.get(key, 0) - base.get(key, 0)
                net.append(f"{mib / (extra / 1000):.2f}" if row["set"] != "1M" and extra > 0 else "NaN")
            file.write(f"{mib:.2f} {row['install_mib_s']:.2f} {row.get('plain_mib_s', 0):.2f} "
                       f"{net[0]} {net[1]}\n")
    script = f"""
set terminal pngcairo size 900,560 noenhanced
set output '{os.path.join(out, "throughput.png")}'
set title 'Throughput against payload size (fastest of {stats.get("install_1M", {}).get("runs", 0)} runs per size)'
set xlabel 'payload set (MiB)'
set ylabel 'throughput (MiB/s)'
set logscale x 2
set yrange [0:*]
set key top right
set grid
plot '{data}' using 1:2 with linespoints lw 2 title 'install run, whole run', \\
     '{data}' using 1:3 with linespoints lw 2 title 'plain Win32 copy + delete, whole run', \\
     '{data}' using 1:4 with linespoints lw 2 dt 2 title 'install run, net of the 1 MiB run', \\
     '{data}' using 1:5 with linespoints lw 2 dt 2 title 'plain copy, net of the 1 MiB run'
"""
    try:
        subprocess.run(["gnuplot"], input=script, text=True, check=True)
    except (OSError, subprocess.CalledProcessError) as error:
        print(f"no plot: {error}")


if __name__ == "__main__":
    main()
