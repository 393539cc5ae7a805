#!/usr/bin/env python3
"""Installation into a temporary DESTDIR with the default prefix: exactly the two programs, their
manual pages, desktop entries and icons, no search path into the build tree; the installed
programs run from another directory with nothing of the build in their environment; the
uninstall script removes every installed file and nothing else."""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
from e2e import check, finish  # noqa: E402

SOURCE = os.environ["ZT_SOURCE_DIR"]
BUILD = os.environ["ZT_BINARY_DIR"]
PREFIX = "/usr/local"
FILES = {"bin/zentavor", "bin/trabolix", "share/man/man6/zentavor.6.gz",
         "share/man/man6/trabolix.6.gz", "share/applications/zentavor.desktop",
         "share/applications/trabolix.desktop", "share/icons/hicolor/scalable/apps/zentavor.svg",
         "share/icons/hicolor/scalable/apps/trabolix.svg"}


def installed(root):
    found = set()
    for here, _, names in os.walk(root):
        found |= {os.path.relpath(os.path.join(here, n), root) for n in names}
    return found


def run_installed(bindir, prog, keys, cwd, **env):
    """Runs an installed program with a bare environment: the installed bin directory on the
    path, no variable of the build or the tests."""
    env = dict(PATH=f"{bindir}:/usr/bin:/bin", HOME=cwd, **env)
    p = subprocess.run([prog], input=keys, capture_output=True, cwd=cwd, env=env, timeout=60)
    return p.returncode, p.stdout, p.stderr


def main():
    with tempfile.TemporaryDirectory() as tmp:
        dest = os.path.join(tmp, "dest")
        root = dest + PREFIX
        p = subprocess.run(["cmake", "--install", BUILD, "--component", "programs", "--prefix",
                            PREFIX], env=dict(os.environ, DESTDIR=dest), capture_output=True,
                           text=True, timeout=60)
        check(p.returncode == 0, f"cmake --install succeeds ({p.stderr[-400:]!r})")
        manifest = os.path.join(tmp, "manifest.txt")
        with open(os.path.join(BUILD, "install_manifest_programs.txt")) as f:
            listed = f.read()
        with open(manifest, "w") as f:
            f.write(listed)
        check(installed(dest) == {os.path.join(PREFIX, f).lstrip("/") for f in FILES},
              f"exactly the programs, pages, entries and icons are installed "
              f"({sorted(installed(dest))})")
        check(set(listed.split()) == {os.path.join(PREFIX, f) for f in FILES},
              f"the manifest lists the installed files below the prefix ({listed!r})")
        bindir = os.path.join(root, "bin")
        for prog in ("zentavor", "trabolix"):
            path = os.path.join(bindir, prog)
            check(os.access(path, os.X_OK), f"{prog} is executable")
            dyn = subprocess.run(["readelf", "-d", path], capture_output=True, text=True,
                                 timeout=30).stdout
            check(BUILD not in dyn and SOURCE not in dyn,
                  f"{prog} has no search path into the build or source tree")

        elsewhere = os.path.join(tmp, "elsewhere")
        os.mkdir(elsewhere)
        code, out, err = run_installed(bindir, "trabolix", b"q", elsewhere,
                                       SDL_VIDEODRIVER="offscreen")
        check(code == 0 and out == b"\r\nUnused key pressed => EXIT\r\n",
              f"installed trabolix plays and quits on q ({code}, {out!r}, {err[-300:]!r})")
        code, out, err = run_installed(bindir, "zentavor", b"r", elsewhere,
                                       SDL_VIDEODRIVER="offscreen")
        check(code == 0 and out == b"\r\nPress R to finish te program\r\n",
              f"installed zentavor runs and ends on r ({code}, {out!r}, {err[-300:]!r})")
        code, out, _ = run_installed(bindir, "zentavor", b"", elsewhere)
        check(code == 0 and out == b"\r\nSorry, graphics doesn't work\r\n",
              f"installed zentavor without a display says so ({code}, {out!r})")
        check(os.listdir(elsewhere) == [], "the runs leave nothing in the working directory")

        # Something else in the same directories stays.
        keep = os.path.join(bindir, "other")
        with open(keep, "w") as f:
            f.write("not ours\n")
        p = subprocess.run(["cmake", f"-DMANIFEST={manifest}", "-P",
                            os.path.join(SOURCE, "cmake", "Uninstall.cmake")],
                           env=dict(os.environ, DESTDIR=dest), capture_output=True, text=True,
                           timeout=60)
        check(p.returncode == 0, f"uninstall succeeds ({p.stderr[-400:]!r})")
        check(installed(dest) == {os.path.relpath(keep, dest)},
              f"uninstall removes the installed files only ({sorted(installed(dest))})")
        p = subprocess.run(["cmake", f"-DMANIFEST={os.path.join(tmp, 'none.txt')}", "-P",
                            os.path.join(SOURCE, "cmake", "Uninstall.cmake")],
                           capture_output=True, text=True, timeout=60)
        check(p.returncode != 0 and "no install manifest" in p.stderr,
              f"uninstall without a manifest fails and says why ({p.stderr!r})")
    finish()


if __name__ == "__main__":
    main()
