// Made by tests/make_signed_fixture.sh: do not edit.
#pragma once

#include <string_view>

namespace varnoke::test::signed_fixture {

// The test keys' public halves, as <publickey> holds them.
inline constexpr std::string_view kKey1 = "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEVY6BoViPvtyvTKZR3RJeobr3+8an+su90M1fLx/DLGN2+3ugbcPhvY0pTbqyd9Rn4wK5g4m3jB2Zr1enH9+21w==";
inline constexpr std::string_view kKey2 = "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEZJXAivhbUiaD22ZQeIsyGsHmWG85qfBPQxrjEVcH4yjcegWCQ8H7BjYfj1jeXE+UWOEMAktMy9IvCKsG6E0a6w==";
inline constexpr std::string_view kList = R"~~(<StockData><KestriaStockList><StockName>SIGNED</StockName><StockID>SIGNED1</StockID></KestriaStockList></StockData>)~~";
// Checkpoint 6 naming key 1; the same naming key 2; 7 naming key 2; 6 naming none.
inline constexpr std::string_view kTable = R"~~(<?xml version="1.0"?><ActionList><ActionUrl><ActionName>QuoteSIGNED</ActionName><URL>https://q.example/?id=</URL></ActionUrl><lastcheckpoint>6</lastcheckpoint><lastupdate>1</lastupdate><updatefrequency>99</updatefrequency><updateurl>https://next.invalid/v/acturl.xml</updateurl><publickey>MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEVY6BoViPvtyvTKZR3RJeobr3+8an+su90M1fLx/DLGN2+3ugbcPhvY0pTbqyd9Rn4wK5g4m3jB2Zr1enH9+21w==</publickey></ActionList>)~~";
inline constexpr std::string_view kRotatedTable = R"~~(<?xml version="1.0"?><ActionList><ActionUrl><ActionName>QuoteSIGNED</ActionName><URL>https://q.example/?id=</URL></ActionUrl><lastcheckpoint>6</lastcheckpoint><lastupdate>1</lastupdate><updatefrequency>99</updatefrequency><updateurl>https://next.invalid/v/acturl.xml</updateurl><publickey>MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEZJXAivhbUiaD22ZQeIsyGsHmWG85qfBPQxrjEVcH4yjcegWCQ8H7BjYfj1jeXE+UWOEMAktMy9IvCKsG6E0a6w==</publickey></ActionList>)~~";
inline constexpr std::string_view kSecondTable = R"~~(<?xml version="1.0"?><ActionList><ActionUrl><ActionName>QuoteSIGNED</ActionName><URL>https://q.example/?id=</URL></ActionUrl><lastcheckpoint>7</lastcheckpoint><lastupdate>1</lastupdate><updatefrequency>99</updatefrequency><updateurl>https://next.invalid/v/acturl.xml</updateurl><publickey>MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEZJXAivhbUiaD22ZQeIsyGsHmWG85qfBPQxrjEVcH4yjcegWCQ8H7BjYfj1jeXE+UWOEMAktMy9IvCKsG6E0a6w==</publickey></ActionList>)~~";
inline constexpr std::string_view kUnkeyedTable = R"~~(<?xml version="1.0"?><ActionList><ActionUrl><ActionName>QuoteSIGNED</ActionName><URL>https://q.example/?id=</URL></ActionUrl><lastcheckpoint>6</lastcheckpoint><lastupdate>1</lastupdate><updatefrequency>99</updatefrequency><updateurl>https://next.invalid/v/acturl.xml</updateurl></ActionList>)~~";
// Manifests (each followed by its signature file) of kTable with kList:
// valid until 2099; expiring at the tests' clock; naming checkpoint 7.
inline constexpr std::string_view kOkManifest = R"~~(varnoke-manifest 1
checkpoint 6
expires 2099-01-01T00:00:00Z
sha256 acturl.xml 54b94f055c6ac42b60a323a0b440b94a946b91791df11732551dc763b6069545
sha256 varnokeL.xml 390efff1999cddc61c9c3f7fe7bd86bd5fdc8980d5efb9806bab94c773f1deae
)~~";
inline constexpr std::string_view kOkSignature = "MEQCIEZ/N4hNhJ27BVw6Hq85NI8aSnvREp0+xcxJ/Q8m70muAiBGrCEpSe4A8B+AtXLGVv3Vn5aooJGbUrMKqK0aiPas2g==\n";
inline constexpr std::string_view kExpiredManifest = R"~~(varnoke-manifest 1
checkpoint 6
expires 2026-12-08T09:30:59Z
sha256 acturl.xml 54b94f055c6ac42b60a323a0b440b94a946b91791df11732551dc763b6069545
sha256 varnokeL.xml 390efff1999cddc61c9c3f7fe7bd86bd5fdc8980d5efb9806bab94c773f1deae
)~~";
inline constexpr std::string_view kExpiredSignature = "MEUCIQCJY+uSsvTCqTOlnahWlTGyqFKBCufhhqw4xDCWg8jpuAIgTcOHLoiWV9F435b6WbH38PjHBjl6DwaqUlylzOBzOhY=\n";
inline constexpr std::string_view kCheckpointManifest = R"~~(varnoke-manifest 1
checkpoint 7
expires 2099-01-01T00:00:00Z
sha256 acturl.xml 54b94f055c6ac42b60a323a0b440b94a946b91791df11732551dc763b6069545
sha256 varnokeL.xml 390efff1999cddc61c9c3f7fe7bd86bd5fdc8980d5efb9806bab94c773f1deae
)~~";
inline constexpr std::string_view kCheckpointSignature = "MEUCIBZ7YwFQSe67KA3Z2NWCmGXoGRrDGrZmJlGt4WXTV0WtAiEAv2IzcS1DmcXOtjQ/2qbIVfvZN0EWFlrSrLP6J+BNoHQ=\n";
// kOkManifest signed by key 2 only.
inline constexpr std::string_view kOkSignatureByKey2 = "MEQCIA99c4COiyst31leTdIj3Y6NUHE/xRagpVI/r2LXyvqnAiBfhXVmqSY/lAS1KmFCNqXpoSXm+igMA/Gf7UU+XTIciw==\n";
// Signed by key 1, but not a manifest.
inline constexpr std::string_view kMalformedManifest = R"~~(varnoke-manifest 1
checkpoint 6
)~~";
inline constexpr std::string_view kMalformedSignature = "MEQCIFtEUtk9C1ftXA9Ca3zwEb7kD/WjtJtoicltcLmq1soJAiBfvNZklzm0+Rh8T3E/InzKpHhcijlgC/EC6xvg6RmqZw==\n";
// kRotatedTable under key 1; kSecondTable under key 2; kUnkeyedTable under key 1.
inline constexpr std::string_view kRotateManifest = R"~~(varnoke-manifest 1
checkpoint 6
expires 2099-01-01T00:00:00Z
sha256 acturl.xml aaf96b9e8b648688d9d1764daece0a2e295a775a48110c1f6cb3e42058da7e2f
sha256 varnokeL.xml 390efff1999cddc61c9c3f7fe7bd86bd5fdc8980d5efb9806bab94c773f1deae
)~~";
inline constexpr std::string_view kRotateSignature = "MEQCIH1nonkVPH7RaKa+0gWjp3GsPXK1UEJWpWnavuYaFbZcAiBw+RvLDwGAWTkaFqT56OOWkyMOYiSTBzVoJPpxll08fw==\n";
inline constexpr std::string_view kSecondManifest = R"~~(varnoke-manifest 1
checkpoint 7
expires 2099-01-01T00:00:00Z
sha256 acturl.xml b07c8b95c1c63a9bf6192307710a75f6f80ab72971e88631128227715a2809fc
sha256 varnokeL.xml 390efff1999cddc61c9c3f7fe7bd86bd5fdc8980d5efb9806bab94c773f1deae
)~~";
inline constexpr std::string_view kSecondSignature = "MEQCIFD9yHj50C35lNKGudcsCjPTcvjl7ep+Am40fY9qQ2bJAiAbTblfNq9FkbgGKQlHDrZIny/jZZ2NxzDGQnAgLKZE7g==\n";
inline constexpr std::string_view kUnkeyedManifest = R"~~(varnoke-manifest 1
checkpoint 6
expires 2099-01-01T00:00:00Z
sha256 acturl.xml 7d5508cfd0406d33dc606c9dc9c0616730e689d5223fcc4ada1b44df03246ee3
sha256 varnokeL.xml 390efff1999cddc61c9c3f7fe7bd86bd5fdc8980d5efb9806bab94c773f1deae
)~~";
inline constexpr std::string_view kUnkeyedSignature = "MEUCIEXWywVl4cqatmFWgHsaJVhhH61ZyttNHx2p66QBT2pGAiEAuDlqD4lHTHzL4sjk+LNSbVaeYwRvuXopIwbOQ8f9KO8=\n";

}  // namespace varnoke::test::signed_fixture
