// The host's classes: a module that exports and opens nothing, so that the
// applets it loads (in the unnamed module) can neither call into it nor read
// its fields by reflection.
module ostrel.applethost {
    requires java.desktop;
}
