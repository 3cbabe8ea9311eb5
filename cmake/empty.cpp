// Placeholder so a subsystem whose classes come later still builds.
