"""Halvex asked for help or its version answers on the terminal and ends; nothing starts."""
import os
import subprocess
import unittest

import harness


class CommandLineTest(unittest.TestCase):
    def setUp(self):
        # Ctrl + F9 to save: the help shows the shortcut in force, not the default.
        self.halvex = harness.Halvex({"Shortcuts": {"SaveClip": "17,120"}})
        self.addCleanup(self.halvex.cleanup)

    def run_halvex(self, *args):
        proc = subprocess.run([self.halvex.program, *args], env=self.halvex.env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              stdin=subprocess.DEVNULL, timeout=20)
        return proc.returncode, proc.stdout.decode("utf-8"), proc.stderr.decode("utf-8")

    def test_help_says_where_things_are_and_ends(self):
        for flag in ("--help", "-h"):
            code, out, err = self.run_halvex(flag)
            self.assertEqual(code, 0, err)
            self.assertIn(os.path.join(self.halvex.config, "Halvex.ini"), out)
            self.assertIn(self.halvex.save_root, out)
            self.assertIn("Ctrl + F9", out)
            self.assertIn("Ctrl + F10", out)
            self.assertNotIn("=== Halvex", out, "the recorder started")
        # No instance claimed the runtime folder.
        self.assertEqual(os.listdir(self.halvex.runtime), [])

    def test_version_and_unknown_options(self):
        code, out, _ = self.run_halvex("--version")
        self.assertEqual(code, 0)
        self.assertRegex(out.strip(), r"^Halvex \d+\.\d+\.\d+$")
        code, out, err = self.run_halvex("--grabar")
        self.assertEqual(code, 2)
        self.assertEqual(out, "")
        self.assertIn("--grabar", err)
        self.assertIn("--help", err)


if __name__ == "__main__":
    unittest.main()
