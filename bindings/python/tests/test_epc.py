"""tessaro.epc: the codec through the binding, and tag.gs1 on inventory results."""
import pytest

from tessaro import epc

SGTIN = "3074257BF7194E4000001A85"   # EPC Tag Data Standard, Annex E


def test_decode_gives_every_form():
    gs1 = epc.decode(SGTIN)
    assert gs1.scheme == "sgtin-96" and gs1.filter == 3
    assert gs1.fields == {"companyPrefix": "0614141", "itemReference": "812345", "serial": "6789"}
    assert gs1.element_string == "(01)80614141123458(21)6789"
    assert gs1.digital_link == "https://id.gs1.org/01/80614141123458/21/6789"
    assert gs1.gs1_key == "80614141123458"
    assert gs1.epc_hex == SGTIN
    assert epc.decode("3000" + SGTIN, pc=True).tag_uri == "urn:epc:tag:sgtin-96:3.0614141.812345.6789"


def test_encode_from_each_text_form():
    assert epc.encode("urn:epc:tag:sgtin-96:3.0614141.812345.6789").hex().upper() == SGTIN
    assert epc.encode("urn:epc:id:sgtin:0614141.812345.6789", filter=3).hex().upper() == SGTIN
    assert epc.encode("(01)80614141123458(21)6789", 3, 7).hex().upper() == SGTIN
    gid = epc.parse("urn:epc:id:gid:95100000.12345.400")
    assert gid.filter is None and gid.element_string is None


@pytest.mark.parametrize("text, reason", [
    ("E2003412", "header 0xE2"),
    ("3074257BF7194E4000001A8500FF", "not zero"),
])
def test_refusals_carry_the_reason(text, reason):
    with pytest.raises(epc.NotGs1Error, match=reason):
        epc.decode(text)
    assert epc.try_decode(text) is None


def test_encode_refuses_a_wrong_check_digit():
    with pytest.raises(epc.NotGs1Error, match="check digit"):
        epc.encode("(01)80614141123457(21)6789", 3, 7)


def test_inventory_tags_carry_their_identity(reader):
    tags = {t.epc_hex: t for t in reader.inventory()}
    assert tags["3034257BF7194E40000003E9"].gs1.pure_uri == "urn:epc:id:sgtin:0614141.812345.1001"
    assert tags["3114F4E4E400003039000000"].gs1.element_string == "(00)040123450000123456"
    assert {t.gs1.scheme for t in tags.values()} == {"sgtin-96", "sscc-96", "grai-96", "giai-96"}
