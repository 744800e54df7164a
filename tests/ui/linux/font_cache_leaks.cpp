// Fontconfig, Pango and GLib keep their font caches and type registrations for the life of the
// process; LeakSanitizer reports them at exit. They are not ours to report.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libpango\nleak:libglib\nleak:libgobject\nleak:libharfbuzz\n";
}
