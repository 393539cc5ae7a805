#!/usr/bin/env python3
"""The Debian package, built by cpack into a temporary directory: its name, version, maintainer
(a real "Name <address>", not a placeholder) and architecture, its dependencies (the SDL2 and C++
run-time libraries, found by shlibdeps), its file list (the two programs in /usr/games, their
manual pages, desktop entries and icons, nothing else), desktop entries that start the programs in
a terminal with their icons, the icons as scripts/icon draws them, and programs that run once
unpacked.

  package_test.py VERSION MAINTAINER"""
import glob
import gzip
import configparser
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from e2e import check, finish  # noqa: E402

BUILD = os.environ["ZT_BINARY_DIR"]
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
VERSION, MAINTAINER = sys.argv[1], sys.argv[2]
FILES = ["./usr/games/trabolix", "./usr/games/zentavor",
         "./usr/share/applications/trabolix.desktop", "./usr/share/applications/zentavor.desktop",
         "./usr/share/icons/hicolor/scalable/apps/trabolix.svg",
         "./usr/share/icons/hicolor/scalable/apps/zentavor.svg",
         "./usr/share/man/man6/trabolix.6.gz", "./usr/share/man/man6/zentavor.6.gz"]


def field(deb, name):
    return subprocess.run(["dpkg-deb", "-f", deb, name], capture_output=True, text=True,
                          timeout=30).stdout.strip()


def check_desktop_entries(root, tmp):
    """Each entry runs its program by name (found in /usr/games) in a terminal, with its icon; the
    icons are the ones scripts/icon draws."""
    drawn = os.path.join(tmp, "icons")
    os.mkdir(drawn)
    subprocess.run([os.path.join(SOURCE, "scripts", "icon"), drawn], check=True, timeout=60)
    for prog in ("zentavor", "trabolix"):
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(os.path.join(root, "usr", "share", "applications", prog + ".desktop"))
        d = dict(entry["Desktop Entry"]) if entry.has_section("Desktop Entry") else {}
        check(d.get("Type") == "Application" and d.get("Exec") == prog
              and d.get("Terminal") == "true" and d.get("Icon") == prog
              and d.get("Name") == prog.capitalize() and "Game;" in d.get("Categories", ""),
              f"{prog}.desktop starts {prog} in a terminal with its icon ({d})")
        with open(os.path.join(root, "usr", "share", "icons", "hicolor", "scalable", "apps",
                               prog + ".svg"), "rb") as f:
            packed = f.read()
        with open(os.path.join(drawn, prog + ".svg"), "rb") as f:
            check(packed == f.read() and packed.startswith(b"<svg"),
                  f"{prog}.svg is what scripts/icon draws")


def main():
    for tool in ("cpack", "dpkg-deb", "dpkg-shlibdeps"):
        if shutil.which(tool) is None:
            print(f"SKIP: {tool} is not installed (scripts/setup installs it)")
            sys.exit(77)
    with tempfile.TemporaryDirectory() as tmp:
        p = subprocess.run(["cpack", "-G", "DEB", "-B", tmp, "--config",
                            os.path.join(BUILD, "CPackConfig.cmake")], cwd=BUILD,
                           capture_output=True, text=True, timeout=150)
        check(p.returncode == 0, f"cpack succeeds ({p.stdout[-600:]!r} {p.stderr[-600:]!r})")
        debs = glob.glob(os.path.join(tmp, "*.deb"))
        arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True,
                              timeout=30).stdout.strip()
        check([os.path.basename(d) for d in debs] == [f"zentavor-trabolix_{VERSION}_{arch}.deb"],
              f"one package named by name, version and architecture ({debs})")
        if not debs:
            finish()
        deb = debs[0]
        check(field(deb, "Package") == "zentavor-trabolix", "package name")
        check(field(deb, "Version") == VERSION, f"version {field(deb, 'Version')!r}")
        check(field(deb, "Architecture") == arch, "architecture")
        maintainer = field(deb, "Maintainer")
        check(maintainer == MAINTAINER and re.fullmatch(r"[^<>]+ <[^<>@ ]+@[^<>@ ]+>", maintainer)
              and "Zentavor and Trabolix maintainers" not in maintainer,
              f"maintainer {maintainer!r} is the configured one ({MAINTAINER!r})")
        check(field(deb, "Description") != "", "description")
        depends = [d.strip().split()[0] for d in field(deb, "Depends").split(",")]
        for lib in ("libsdl2-2.0-0", "libc6", "libstdc++6"):
            check(lib in depends, f"depends on {lib} ({depends})")

        listing = subprocess.run(["dpkg-deb", "-c", deb], capture_output=True, text=True,
                                 timeout=30).stdout.splitlines()
        files = sorted(line.split()[-1] for line in listing if not line.startswith("d"))
        check(files == FILES, f"the package holds the programs, their pages, desktop entries and "
              f"icons only ({files})")
        check(all(line.split()[1] == "root/root" for line in listing), "files owned by root")

        root = os.path.join(tmp, "root")
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True, timeout=30)
        for prog in ("zentavor", "trabolix"):
            info = subprocess.run(["file", "-b", os.path.join(root, "usr", "games", prog)],
                                  capture_output=True, text=True, timeout=30).stdout
            check("stripped" in info and "not stripped" not in info, f"{prog} stripped ({info})")
            page = os.path.join(root, "usr", "share", "man", "man6", prog + ".6.gz")
            source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "docs", "man",
                                  prog + ".6")
            with open(source, "rb") as f:
                text = f.read()
            try:
                with gzip.open(page, "rb") as f:
                    packed = f.read()
            except OSError:
                packed = b""
            check(packed == text, f"{prog}(6) packed with gzip, the source page unchanged")
        check_desktop_entries(root, tmp)
        p = subprocess.run([os.path.join(root, "usr", "games", "trabolix")], input=b"q",
                           capture_output=True, cwd=tmp, timeout=60,
                           env={"PATH": "/usr/bin:/bin", "SDL_VIDEODRIVER": "offscreen"})
        check(p.returncode == 0 and p.stdout == b"\r\nUnused key pressed => EXIT\r\n",
              f"the packaged trabolix runs ({p.returncode}, {p.stdout!r}, {p.stderr[-300:]!r})")
    finish()


if __name__ == "__main__":
    main()
