# The window, talpir-programmer; filled in by the window work.
