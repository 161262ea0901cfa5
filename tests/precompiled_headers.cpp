// The target that compiles the Qt headers every test shares (see CMakeLists.txt); nothing of its own.
