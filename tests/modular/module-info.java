// A module that uses zknative7 from the module path, as a modular application would.
module quorvalen.zelka.modular {
    requires quorvalen.zelka;
}
