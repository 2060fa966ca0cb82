# SPDX-License-Identifier: GPL-2.0-or-later
"""The Debian packages that `make package` leaves, checked as a user gets them.

lintian finds no errors in any of the eight. The amd64 pair installs here: the
installed intro opens its window under Xvfb and quits on Escape, the installed
modrender reads the intro's module; then both are removed. The library pair
installs too, and the example of examples/ builds against it (see
ConsumerTest). The arm64 packages are unpacked: the programs and the library
are aarch64 code, and under qemu-aarch64 the intro opens its window and
modrender reads the module.
"""
import glob
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import rig  # noqa: E402

PACKAGE_DIR = os.environ["PACKAGE_DIR"]
MODULE = os.path.join(os.environ["SOURCE_DIR"], "assets", "intro.xm")
INTRO_PACKAGE, MODRENDER_PACKAGE = "quillrun-intro", "quillrun-modrender"
LIBRARY_PACKAGE, DEV_PACKAGE = "libquillrun-replayer5", "libquillrun-replayer-dev"
EXAMPLES = os.path.join(os.environ["SOURCE_DIR"], "examples")
BIN_DIR = os.environ.get("BIN_DIR", "")
INSTALLED_INTRO = "/usr/games/quillrun-intro"
INSTALLED_MODRENDER = "/usr/bin/modrender"
QEMU = ["qemu-aarch64", "-L", "/"]
ELF_MAGIC, ELF_64_BIT, EM_AARCH64 = b"\x7fELF", 2, 183
# Another engineer's or CI's apt may hold the dpkg lock for a while.
APT = ["apt-get", "-o", "DPkg::Lock::Timeout=300", "-y", "-qq"]
SKIP = 77


def package_file(name, arch):
    found = glob.glob(os.path.join(PACKAGE_DIR, f"{name}_*_{arch}.deb"))
    if len(found) != 1:
        raise AssertionError(f"expected one {name} package for {arch} in {PACKAGE_DIR}: {found}")
    return found[0]


def control_field(deb, field):
    return subprocess.run(["dpkg-deb", "-f", deb, field], capture_output=True, text=True,
                          check=True).stdout.strip()


def run(command):
    return subprocess.run(command, capture_output=True, text=True, timeout=300)


class PackageChecks:
    """Checks shared by both architectures; `arch` and `runner` come from the class."""

    def assert_control(self, intro, modrender):
        for deb in (intro, modrender):
            self.assertEqual(control_field(deb, "Architecture"), self.arch)
            self.assertIn("libc6", control_field(deb, "Depends"))
        # The window library is linked, XRandR loaded by it; JACK is loaded at
        # run time if present.
        self.assertIn("libglfw3", control_field(intro, "Depends"))
        self.assertIn("libxrandr2", control_field(intro, "Depends"))
        self.assertNotIn("libjack", control_field(intro, "Depends"))
        self.assertIn("libjack", control_field(intro, "Recommends"))

    def assert_intro_opens_and_quits(self, program):
        with rig.xvfb() as display:
            intro = rig.Intro(display, program=program, runner=self.runner)
            try:
                window = intro.wait_window()
                rig.wait_frames(display, window)  # drawing, so its keys are handled
                rig.key(display, "Escape")
                self.assertEqual(intro.finish(), (0, b"", b""))
            finally:
                intro.kill()

    def assert_modrender_reads_module(self, program):
        result = run(self.runner + [program, "--info", MODULE])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("format: xm", result.stdout.splitlines())


class LintianTest(unittest.TestCase):
    def test_no_errors(self):
        debs = sorted(glob.glob(os.path.join(PACKAGE_DIR, "*.deb")))
        self.assertEqual(len(debs), 8, debs)
        result = run(["lintian", "--fail-on", "error", "--tag-display-limit", "0", *debs])
        print(result.stdout + result.stderr)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)


class Amd64Test(unittest.TestCase, PackageChecks):
    arch, runner = "amd64", []

    def test_installs_runs_and_removes(self):
        intro, modrender = package_file(INTRO_PACKAGE, "amd64"), package_file(MODRENDER_PACKAGE, "amd64")
        self.assert_control(intro, modrender)
        self.addCleanup(run, APT + ["purge", INTRO_PACKAGE, MODRENDER_PACKAGE])
        installed = run(APT + ["install", "--no-install-recommends", intro, modrender])
        self.assertEqual(installed.returncode, 0, installed.stdout + installed.stderr)
        self.assert_intro_opens_and_quits(INSTALLED_INTRO)
        self.assert_modrender_reads_module(INSTALLED_MODRENDER)
        removed = run(APT + ["purge", INTRO_PACKAGE, MODRENDER_PACKAGE])
        self.assertEqual(removed.returncode, 0, removed.stdout + removed.stderr)
        self.assertFalse(os.path.exists(INSTALLED_INTRO))


class ConsumerTest(unittest.TestCase):
    """The library packages as a program outside this tree uses them: the
    example built with pkg-config and with CMake's find_package, each run and
    its output held to modrender's; then the packages removed again."""

    def test_example_builds_both_ways_and_agrees_with_modrender(self):
        debs = [package_file(LIBRARY_PACKAGE, "amd64"), package_file(DEV_PACKAGE, "amd64")]
        self.assertEqual(control_field(debs[1], "Depends"),
                         f"{LIBRARY_PACKAGE} (= {control_field(debs[0], 'Version')})")
        self.addCleanup(run, APT + ["purge", LIBRARY_PACKAGE, DEV_PACKAGE])
        installed = run(APT + ["install", "--no-install-recommends", *debs])
        self.assertEqual(installed.returncode, 0, installed.stdout + installed.stderr)

        modrender = os.path.join(BIN_DIR, "modrender")
        info = dict(line.split(": ", 1) for line in
                    run([modrender, "--info", MODULE]).stdout.splitlines() if ": " in line)
        with tempfile.TemporaryDirectory() as tmp:
            want = os.path.join(tmp, "modrender.wav")
            self.assertEqual(run([modrender, "--exact", "-t", "1", "-o", want, MODULE]).returncode, 0)
            flags = run(["pkg-config", "--cflags", "--libs", "quillrun-replayer"])
            self.assertEqual(flags.returncode, 0, flags.stderr)
            by_pkg_config = os.path.join(tmp, "render_second")
            built = run(["cc", "-Wall", "-Wextra", "-o", by_pkg_config,
                         os.path.join(EXAMPLES, "render_second.c"), *flags.stdout.split()])
            self.assertEqual(built.returncode, 0, built.stderr)
            # The C++ header and the headers it includes are installed too.
            cpp = os.path.join(tmp, "settings.cpp")
            with open(cpp, "w") as f:
                f.write("#include <quillrun/replayer.h>\n"
                        "int main() { return replayer::render_settings_error("
                        "replayer::LISTENING_RENDER_SETTINGS) != nullptr; }\n")
            built = run(["c++", "-std=c++17", "-Wall", "-Wextra", "-o", cpp + ".out", cpp,
                         *flags.stdout.split()])
            self.assertEqual(built.returncode, 0, built.stderr)
            self.assertEqual(run([cpp + ".out"]).returncode, 0)
            cmake_tree = os.path.join(tmp, "cmake")
            for step in (["cmake", "-S", EXAMPLES, "-B", cmake_tree],
                         ["cmake", "--build", cmake_tree]):
                done = run(step)
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            by_cmake = os.path.join(cmake_tree, "render_second")
            for program in (by_pkg_config, by_cmake):
                with self.subTest(program=program):
                    linked = run(["ldd", program]).stdout
                    # The installed library, not one of a build tree.
                    self.assertRegex(linked, r"libquillrun-replayer\.so\.5 => (/usr)?/lib/")
                    got = os.path.join(tmp, "example.wav")
                    result = run([program, MODULE, got])
                    self.assertEqual((result.returncode, result.stderr), (0, ""))
                    self.assertEqual(result.stdout.splitlines(),
                                     [f"title: {info['title']}",
                                      f"duration_s: {info['duration_s']}"])
                    with open(got, "rb") as a, open(want, "rb") as b:
                        self.assertTrue(a.read() == b.read(), "the WAV files differ")
        removed = run(APT + ["purge", LIBRARY_PACKAGE, DEV_PACKAGE])
        self.assertEqual(removed.returncode, 0, removed.stdout + removed.stderr)
        self.assertEqual(run(["pkg-config", "--exists", "quillrun-replayer"]).returncode, 1)


class Arm64Test(unittest.TestCase, PackageChecks):
    arch, runner = "arm64", QEMU

    def test_unpacked_programs_run_under_qemu(self):
        intro, modrender = package_file(INTRO_PACKAGE, "arm64"), package_file(MODRENDER_PACKAGE, "arm64")
        info = run(["dpkg-deb", "-I", intro])
        self.assertIn("Architecture: arm64", info.stdout)
        self.assert_control(intro, modrender)
        with tempfile.TemporaryDirectory() as root:
            for deb in (intro, modrender):
                subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
            unpacked_intro = root + INSTALLED_INTRO
            with open(unpacked_intro, "rb") as f:
                header = f.read(20)
            self.assertEqual(header[:4], ELF_MAGIC)
            self.assertEqual(header[4], ELF_64_BIT)
            self.assertEqual(int.from_bytes(header[18:20], "little"), EM_AARCH64)
            self.assert_intro_opens_and_quits(unpacked_intro)
            self.assert_modrender_reads_module(root + INSTALLED_MODRENDER)
            # The library, in the arm64 multiarch folder.
            subprocess.run(["dpkg-deb", "-x", package_file(LIBRARY_PACKAGE, "arm64"), root],
                           check=True)
            library = root + "/usr/lib/aarch64-linux-gnu/libquillrun-replayer.so.5"
            with open(library, "rb") as f:
                header = f.read(20)
            self.assertEqual(int.from_bytes(header[18:20], "little"), EM_AARCH64)


if __name__ == "__main__":
    if not glob.glob(os.path.join(PACKAGE_DIR, "*.deb")):
        print(f"no packages in {PACKAGE_DIR} (make package)")
        sys.exit(SKIP)
    unittest.main(verbosity=2)
