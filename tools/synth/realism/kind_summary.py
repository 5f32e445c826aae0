#!/usr/bin/env python3
"""Per-kind accuracy from `vantrel evaluate --synth N --mix hard --all` output.

Reads the evaluation's lines on stdin; an image with several kinds counts
towards each of them, and "(alone)" rows hold the images with that kind only. Prints a Markdown table, worst fingertip match first.
"""
import re
import sys

LINE = re.compile(
    r"^synth-(\d+)-h(\d+) (\S+)\s+status\s+(-?\d+)\s+found (\d+)/(\d+)\s+matched (\d+)"
    r"\s+count (ok|BAD)\s+codes (ok|BAD|-)\s+all boxes and codes (ok|BAD|-)")
HANDS = {"13": "right", "14": "left", "15": "thumbs"}


def main():
    groups = {}
    for line in sys.stdin:
        m = LINE.match(line)
        if not m:
            continue
        _, hand, kinds, _, found, truth, matched, count, codes, every = m.groups()
        names = ["all", "hand " + HANDS.get(hand, hand)]
        names += ["plain"] if kinds == "plain" else ["any hard kind"] + kinds.split("+")
        if kinds != "plain" and "+" not in kinds:
            names.append(kinds + " (alone)")
        if kinds != "plain":
            names.append("hard, " + HANDS.get(hand, hand))
        for name in names:
            g = groups.setdefault(name, [0, 0, 0, 0, 0, 0, 0])
            g[0] += 1
            g[1] += int(truth)
            g[2] += int(matched)
            g[3] += count == "ok"
            g[4] += codes != "-"
            g[5] += codes == "ok"
            g[6] += every == "ok"
    print("| kind | images | fingertips matched IoU>=0.5 | count right | codes right | "
          "all boxes and codes right |")
    print("|---|---|---|---|---|---|")
    order = sorted(groups.items(), key=lambda kv: kv[1][2] / max(kv[1][1], 1))
    for name, (images, truth, matched, count, judged, codes, every) in order:
        share = lambda a, b: f"{100.0 * a / b:.1f} %" if b else "-"
        print(f"| {name} | {images} | {share(matched, truth)} ({matched}/{truth}) | "
              f"{share(count, images)} | {share(codes, judged)} ({codes}/{judged}) | "
              f"{share(every, judged)} |")


if __name__ == "__main__":
    main()
