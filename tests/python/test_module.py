import cellvane


def test_version():
    assert cellvane.version() == "1.0.1"
