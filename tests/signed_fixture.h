// Made by tests/make_signed_fixture.sh: do not edit.
#pragma once

#include <string_view>

namespace varnoke::test::signed_fixture {

// The test keys' public halves, as <publickey> holds them.
inline constexpr std::string_view kKey1 =
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEVY6BoViPvtyvTKZR3RJeobr3+8an+su90M1fLx/"
    "DLGN2+3ugbcPhvY0pTbqyd9Rn4wK5g4m3jB2Zr1enH9+21w==";
inline constexpr std::string_view kKey2 =
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEZJXAivhbUiaD22ZQeIsyGsHmWG85qfBPQxrjEVcH4yjcegWCQ8H7BjYfj1jeXE+"
    "UWOEMAktMy9IvCKsG6E0a6w==";
inline constexpr std::string_view kList =
    R"~~(<StockData><KestriaStockList><StockName>SIGNED</StockName><StockID>SIGNED1</StockID></KestriaStockList></StockData>)~~";
// Checkpoint 6 naming key 1; the same naming key 2; 7 naming key 2; 6 naming none.
inline constexpr std::string_view kTable =
    R"~~(<?xml version="1.0"?><ActionList><ActionUrl><ActionName>QuoteSIGNED</ActionName><URL>https://q.example/?id=</URL></ActionUrl><lastcheckpoint>6</lastcheckpoint><lastupdate>1</lastupdate><updatefrequency>99</updatefrequency><updateurl>https://next.invalid/v/acturl.xml</updateurl><publickey>MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEVY6BoViPvtyvTKZR3RJeobr3+8an+su90M1fLx/DLGN2+3ugbcPhvY0pTbqyd9Rn4wK5g4m3jB2Zr1enH9+21w==</publickey></ActionList>)~~";
inline constexpr std::string_view kRotatedTable =
    R"~~(<?xml version="1.0"?><ActionList><ActionUrl><ActionName>QuoteSIGNED</ActionName><URL>https://q.example/?id=</URL></ActionUrl><lastcheckpoint>6</lastcheckpoint><lastupdate>1</lastupdate><updatefrequency>99</updatefrequency><updateurl>https://next.invalid/v/acturl.xml</updateurl><publickey>MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEZJXAivhbUiaD22ZQeIsyGsHmWG85qfBPQxrjEVcH4yjcegWCQ8H7BjYfj1jeXE+UWOEMAktMy9IvCKsG6E0a6w==</publickey></ActionList>)~~";
inline constexpr std::string_view kSecondTable =
    R"~~(<?xml version="1.0"?><ActionList><ActionUrl><ActionName>QuoteSIGNED</ActionName><URL>https://q.example/?id=</URL></ActionUrl><lastcheckpoint>7</lastcheckpoint><lastupdate>1</lastupdate><updatefrequency>99</updatefrequency><updateurl>https://next.invalid/v/acturl.xml</updateurl><publickey>MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEZJXAivhbUiaD22ZQeIsyGsHmWG85qfBPQxrjEVcH4yjcegWCQ8H7BjYfj1jeXE+UWOEMAktMy9IvCKsG6E0a6w==</publickey></ActionList>)~~";
inline constexpr std::string_view kUnkeyedTable =
    R"~~(<?xml version="1.0"?><ActionList><ActionUrl><ActionName>QuoteSIGNED</ActionName><URL>https://q.example/?id=</URL></ActionUrl><lastcheckpoint>6</lastcheckpoint><lastupdate>1</lastupdate><updatefrequency>99</updatefrequency><updateurl>https://next.invalid/v/acturl.xml</updateurl></ActionList>)~~";
// Checkpoint 6 naming a blank key; naming a base64 text that is no P-256 key.
inline constexpr std::string_view kBlankKeyTable =
    R"~~(<?xml version="1.0"?><ActionList><ActionUrl><ActionName>QuoteSIGNED</ActionName><URL>https://q.example/?id=</URL></ActionUrl><lastcheckpoint>6</lastcheckpoint><lastupdate>1</lastupdate><updatefrequency>99</updatefrequency><updateurl>https://next.invalid/v/acturl.xml</updateurl><publickey> </publickey></ActionList>)~~";
inline constexpr std::string_view kShortKeyTable =
    R"~~(<?xml version="1.0"?><ActionList><ActionUrl><ActionName>QuoteSIGNED</ActionName><URL>https://q.example/?id=</URL></ActionUrl><lastcheckpoint>6</lastcheckpoint><lastupdate>1</lastupdate><updatefrequency>99</updatefrequency><updateurl>https://next.invalid/v/acturl.xml</updateurl><publickey>AAAA</publickey></ActionList>)~~";
// Manifests (each followed by its signature file) of kTable with kList:
// valid until 2099; expiring at the tests' clock; naming checkpoint 7.
inline constexpr std::string_view kOkManifest = R"~~(varnoke-manifest 1
checkpoint 6
expires 2099-01-01T00:00:00Z
sha256 acturl.xml 54b94f055c6ac42b60a323a0b440b94a946b91791df11732551dc763b6069545
sha256 varnokeL.xml 390efff1999cddc61c9c3f7fe7bd86bd5fdc8980d5efb9806bab94c773f1deae
)~~";
inline constexpr std::string_view kOkSignature =
    "MEYCIQD+cxeGSJKCjgfdq9CFFcM+7zdr5skwnPKylsWb120hJQIhAKGtTE/rKw1O0EdC5FPPLeszBBMCU7EL9rudcJWjHZRJ\n";
inline constexpr std::string_view kExpiredManifest = R"~~(varnoke-manifest 1
checkpoint 6
expires 2026-12-08T09:30:59Z
sha256 acturl.xml 54b94f055c6ac42b60a323a0b440b94a946b91791df11732551dc763b6069545
sha256 varnokeL.xml 390efff1999cddc61c9c3f7fe7bd86bd5fdc8980d5efb9806bab94c773f1deae
)~~";
inline constexpr std::string_view kExpiredSignature =
    "MEUCIQCrgrZa7w4gPs+bV1UeWLMO+obYGvFEkQI8Oc5nLl7uPAIgLchuRtACvUkOsbRvl2o8x6XbU45XIXYRUHb30wa8d3A=\n";
inline constexpr std::string_view kCheckpointManifest = R"~~(varnoke-manifest 1
checkpoint 7
expires 2099-01-01T00:00:00Z
sha256 acturl.xml 54b94f055c6ac42b60a323a0b440b94a946b91791df11732551dc763b6069545
sha256 varnokeL.xml 390efff1999cddc61c9c3f7fe7bd86bd5fdc8980d5efb9806bab94c773f1deae
)~~";
inline constexpr std::string_view kCheckpointSignature =
    "MEYCIQC7gfQMfL9GVnZPiRuUwBTJ1ZJmnS+ZRsyd0lLJQklZvAIhAKIVljOtJ/Ly80A1yfRcwxHBChEAwty7I7EB5y41VY2A\n";
// kOkManifest signed by key 2 only.
inline constexpr std::string_view kOkSignatureByKey2 =
    "MEYCIQD1knNJ0L094WTasgPAlTN87ol6wrgn9nnLXkxfv6cVEAIhAJY+7mTWpRpurle7SCsh69cpoyQ3c3TuLOj5Ca+rBuDx\n";
// Signed by key 1, but not a manifest.
inline constexpr std::string_view kMalformedManifest = R"~~(varnoke-manifest 1
checkpoint 6
)~~";
inline constexpr std::string_view kMalformedSignature =
    "MEYCIQD4wGUpqRsNauIZ6dO5wO1mCW4BSAOiICgAoQAJmSl6RQIhAP9jmIqhD046LTcRnFtgf4iQ1sYox6KCTjf4zZ2dbAGr\n";
// kRotatedTable under key 1; kSecondTable under key 2; kUnkeyedTable under key 1.
inline constexpr std::string_view kRotateManifest = R"~~(varnoke-manifest 1
checkpoint 6
expires 2099-01-01T00:00:00Z
sha256 acturl.xml aaf96b9e8b648688d9d1764daece0a2e295a775a48110c1f6cb3e42058da7e2f
sha256 varnokeL.xml 390efff1999cddc61c9c3f7fe7bd86bd5fdc8980d5efb9806bab94c773f1deae
)~~";
inline constexpr std::string_view kRotateSignature =
    "MEYCIQCuyZE50hIMennDK/yQEBkrqiN8HfbHahB2SqwR6lgJ6wIhAJD1cMSGrYZ56E31UbHgFXFwTb2VbNahywUw1bB+ZoOb\n";
inline constexpr std::string_view kSecondManifest = R"~~(varnoke-manifest 1
checkpoint 7
expires 2099-01-01T00:00:00Z
sha256 acturl.xml b07c8b95c1c63a9bf6192307710a75f6f80ab72971e88631128227715a2809fc
sha256 varnokeL.xml 390efff1999cddc61c9c3f7fe7bd86bd5fdc8980d5efb9806bab94c773f1deae
)~~";
inline constexpr std::string_view kSecondSignature =
    "MEYCIQC4AVvYpZOcMMjUzHNoysNGm7ZsPWGSWLGlE2dI0eOi1gIhALenvE7E+j58msMB8AwY+YlQ6Zuc6CPKEW++c4e3vHHG\n";
inline constexpr std::string_view kUnkeyedManifest = R"~~(varnoke-manifest 1
checkpoint 6
expires 2099-01-01T00:00:00Z
sha256 acturl.xml 7d5508cfd0406d33dc606c9dc9c0616730e689d5223fcc4ada1b44df03246ee3
sha256 varnokeL.xml 390efff1999cddc61c9c3f7fe7bd86bd5fdc8980d5efb9806bab94c773f1deae
)~~";
inline constexpr std::string_view kUnkeyedSignature =
    "MEUCID/ZQUAX+QmeoGSwa8HxyM/bFg0eAtt/0kkZT+/5+ZdVAiEAmbOymu84FcwAoF23lw2ot2PWu0DX5y1JXVyjQUnDJFU=\n";
// kBlankKeyTable and kShortKeyTable under key 1.
inline constexpr std::string_view kBlankKeyManifest = R"~~(varnoke-manifest 1
checkpoint 6
expires 2099-01-01T00:00:00Z
sha256 acturl.xml 5d1ef7c787e800a6b0b16b2888f391d6d8b316163fbb9c1b481eb1cd67e4b230
sha256 varnokeL.xml 390efff1999cddc61c9c3f7fe7bd86bd5fdc8980d5efb9806bab94c773f1deae
)~~";
inline constexpr std::string_view kBlankKeySignature =
    "MEUCIBqSIV4HwGl/F++VyAzUkeH5HC8A5hEqi1OzmCJYx/LiAiEAlnm3XiDZrvvzD/RQ7qeRX7pkeBvnxypGL9VHAIXh2Xc=\n";
inline constexpr std::string_view kShortKeyManifest = R"~~(varnoke-manifest 1
checkpoint 6
expires 2099-01-01T00:00:00Z
sha256 acturl.xml 6c38da517fff82d78877339e6c9768efe38683f46dce463bfa2af5686a2a35a8
sha256 varnokeL.xml 390efff1999cddc61c9c3f7fe7bd86bd5fdc8980d5efb9806bab94c773f1deae
)~~";
inline constexpr std::string_view kShortKeySignature =
    "MEUCIFg3Ct2citHn99G9UTMYGvnosTChBiebY3A+OH3GIyIPAiEAuVmRsa45R0rUyBILbf1Cx23kdHDDT1DsMrABmqkAXJM=\n";

}  // namespace varnoke::test::signed_fixture
