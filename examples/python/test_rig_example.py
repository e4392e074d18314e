"""What a rig's test looks like with the fixture of conftest.py."""


def test_settled_result_near_the_set_voltage(instrument):
    result = instrument.run_test(kv=10, interval=0)
    assert abs(result.kv - 10) < 0.5


def test_backplane_is_consistent(instrument):
    assert instrument.eeprom[0, 0].consistent
