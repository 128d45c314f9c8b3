"""What a machine needs: tools/deps installs or names the Debian packages
of a checkout, and an installed package needs only libraries that every
Debian system has."""
import os
import subprocess
from pathlib import Path

import tarn_base_310

ROOT = Path(__file__).resolve().parents[2]

# Libraries of packages no Debian system is without (libc6, libgcc-s1 and
# libstdc++6 for apt; zlib1g and libzstd1 for dpkg), and the SDK's own.
ALWAYS_THERE = {"libc.so.6", "libm.so.6", "libpthread.so.0", "libdl.so.2", "librt.so.1",
                "ld-linux-x86-64.so.2", "libgcc_s.so.1", "libstdc++.so.6", "libz.so.1", "libzstd.so.1"}


def needed(path):
    out = subprocess.run(["readelf", "-d", str(path)], capture_output=True, text=True, check=True).stdout
    return {line.split("[", 1)[1].rstrip("]") for line in out.splitlines() if "(NEEDED)" in line}


def test_installed_libraries_need_only_what_every_debian_system_has():
    # What `pip install .` installs: the modules and the SDK libraries beside them.
    folder = Path(tarn_base_310.__file__).parent
    libraries = sorted(folder.glob("_tarn_*_310*.so")) + sorted(folder.glob("libZu*.so.7.0"))
    assert len(libraries) >= 15
    for library in libraries:
        foreign = {name for name in needed(library)
                   if name not in ALWAYS_THERE and not name.startswith("libZu")
                   and not name.startswith(("libasan.", "libubsan."))}
        assert not foreign, f"{library.name} needs {sorted(foreign)} at run time"


def fake_tools(folder, uid, installed):
    """A PATH on which dpkg-query knows only `installed`, apt-get writes its
    calls to folder/apt.log and id answers `uid`."""
    bin_dir = folder / "bin"
    bin_dir.mkdir(parents=True)
    scripts = {
        # As the real one, it fails when it has never heard of a package.
        "dpkg-query": "rc=0; for p in \"$@\"; do case \" %s \" in *\" $p \"*) echo \"installed $p\";; "
                      "-*) ;; *) rc=1;; esac; done; exit $rc" % " ".join(installed),
        "apt-get": f"echo \"$*\" >> {folder}/apt.log",
        "id": f"echo {uid}",
    }
    for name, body in scripts.items():
        (bin_dir / name).write_text("#!/bin/sh\n" + body + "\n")
        (bin_dir / name).chmod(0o755)
    return dict(os.environ, PATH=f"{bin_dir}:{os.environ['PATH']}")


def deps(folder, uid, installed):
    return subprocess.run([str(ROOT / "tools" / "deps"), "build"], env=fake_tools(folder, uid, installed),
                          capture_output=True, text=True)


def test_deps_installs_what_is_missing_as_root_and_names_it_otherwise(tmp_path):
    have = ["g++", "make", "libpugixml-dev", "iproute2", "util-linux"]

    user = deps(tmp_path / "user", 1000, have)
    assert user.returncode != 0
    assert "sudo apt-get install libzstd-dev zlib1g-dev" in user.stderr
    assert not (tmp_path / "user" / "apt.log").exists()

    root = deps(tmp_path / "root", 0, have)
    assert root.returncode == 0, root.stderr
    assert (tmp_path / "root" / "apt.log").read_text().splitlines() == [
        "update -qq", "install -y -qq libzstd-dev zlib1g-dev"]

    done = deps(tmp_path / "done", 1000, have + ["zlib1g-dev", "libzstd-dev"])
    assert (done.returncode, done.stdout, done.stderr) == (0, "", "")
