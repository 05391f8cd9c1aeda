// The contacts category, the contact lookup list and its name lookups.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/result_codes.h"
#include "core/text.h"
#include "records/contact_extractor.h"
#include "records/contact_lookup.h"
#include "records_test_env.h"
#include "support/sample_databases.h"

namespace salvora {
namespace {

using sample::AddressBookLayout;
using sample::Person;
using testing::TempDir;

std::vector<Person> People() {
  std::vector<Person> people(6);
  people[0] = {1,
               "Ann",
               "Lee",
               "Acme",
               sample::PhoneSpellings("+15550100001"),
               {},
               "a@x.org",
               "http://ann.example"};
  people[1] = {2, "Bob", std::nullopt, {}, sample::PhoneSpellings("+15550100002")};
  people[2] = {3, std::nullopt, "Zed", {}, std::string("+15550100003")};
  people[3] = {4, std::nullopt, std::nullopt, {}, std::string("+15550100004")};  // no name
  people[4] = {5, "Eve", "Mail", {}, std::nullopt, {}, "eve@x.org"};             // e-mail only
  people[5] = {6, "ann", "Lee", {}, std::string("")};                            // empty phone text
  return people;
}

TEST(ContactExtractorTest, ReadsBothLayoutsAndNamesWithOneBlank) {
  struct Case {
    int generation;
    AddressBookLayout layout;
    int code;
  };
  // The second layout (iOS 7 to 9) is only found after the first one's SQL text failed.
  constexpr Case kCases[] = {{15, AddressBookLayout::kC16Phone, kOk},
                             {17, AddressBookLayout::kC16Phone, kOk},
                             {9, AddressBookLayout::kC15Phone, kSqlFailed},
                             {7, AddressBookLayout::kC15Phone, kSqlFailed}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.generation);
    TempDir dir;
    const std::string path = dir.File("AddressBook.sqlitedb");
    ASSERT_EQ(sample::WriteAddressBookDb(path, c.generation, c.layout, {People()}), 0);

    ContactList contacts(3);  // replaced, not appended to
    ASSERT_EQ(ContactExtractor().Run(path, contacts), c.code);
    // Only people with a phone, sorted by name with A to Z folded.
    ASSERT_EQ(contacts.size(), 4u);
    EXPECT_EQ(contacts[0].name, u"Ann Lee");
    EXPECT_EQ(contacts[0].organization, u"Acme");
    EXPECT_EQ(contacts[0].email, u"a@x.org");
    EXPECT_EQ(contacts[0].url, u"http://ann.example");
    EXPECT_EQ(contacts[0].phone, Utf8ToUtf16(sample::PhoneSpellings("+15550100001")));
    EXPECT_EQ(contacts[1].name, u"Bob");
    EXPECT_EQ(contacts[2].name, u"No Name");
    EXPECT_EQ(contacts[3].name, u"Zed");
    for (const ContactRecord& r : contacts) EXPECT_EQ(r.isDeleted, 0);
  }
}

TEST(ContactExtractorTest, AddressBookWithoutEitherLayoutGives1006AndNoContacts) {
  TempDir dir;
  const std::string path = dir.File("AddressBook.sqlitedb");
  // The iPhone OS 4 address book has no full-text table at all.
  testing::WriteRawDb(path, "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY, First, Last);");
  ContactList contacts(2);
  EXPECT_EQ(ContactExtractor().Run(path, contacts), kSqlFailed);
  EXPECT_TRUE(contacts.empty());
}

TEST(ContactExtractorTest, RealAddressBooks) {
  {
    REQUIRE_FIXTURE(path, "ios15-josh/AddressBook.sqlitedb");
    ContactList contacts;
    ASSERT_EQ(ContactExtractor().Run(path, contacts), kOk);
    // 9 people, 6 of them with a phone; "Apple Inc." has only an organization.
    ASSERT_EQ(contacts.size(), 6u);
    std::vector<std::u16string> names;
    for (const ContactRecord& c : contacts) names.push_back(c.name);
    EXPECT_EQ(names,
              (std::vector<std::u16string>{u"Josh Hickman", u"Liz", u"No Name", u"This Is DFIR Two",
                                           u"This Is DFIR Two", u"Thom De'Fer"}));
    EXPECT_EQ(contacts[2].organization, u"Apple Inc.");
    EXPECT_NE(contacts[0].phone.find(u"+19195790479"), std::u16string::npos);
  }
  {
    REQUIRE_FIXTURE(path, "ios8-addressbook/AddressBook.sqlitedb");
    ContactList contacts;
    EXPECT_EQ(ContactExtractor().Run(path, contacts), kSqlFailed);  // second layout, empty
    EXPECT_TRUE(contacts.empty());
  }
  {
    REQUIRE_FIXTURE(path, "ios4-tracy/AddressBook.sqlitedb");
    ContactList contacts;
    EXPECT_EQ(ContactExtractor().Run(path, contacts), kSqlFailed);  // neither layout
    EXPECT_TRUE(contacts.empty());
  }
}

ContactRecord Contact(const char16_t* name, const char16_t* phone) {
  ContactRecord c;
  c.name = name;
  c.phone = phone;
  return c;
}

TEST(ContactLookupTest, FirstContactWhosePhoneTextContainsTheAddress) {
  ContactLookup lookup;
  lookup.Assign({
      Contact(u"", u"+15550100009 5550100009"),  // nameless: names nothing, still matches
      Contact(u"Ann", u"+1 (555) 010-0001 +15550100001 15550100001 5550100001"),
      Contact(u"Ann Again", u"+15550100001"),
      Contact(u"Bob", u"+44 20 7946 0000 +442079460000"),
      Contact(u"Cy", u"555"),
  });
  struct Case {
    const char16_t* address;
    const char16_t* name;
  };
  constexpr Case kCases[] = {
      {u"+15550100001", u"Ann"},  // the first of two matching contacts
      {u"5550100001", u"Ann"},    // without the country prefix: one of the spellings
      {u"555-010-0001", u""},     // other separators are not a spelling
      {u"+442079460000", u"Bob"},
      {u"20 7946", u"Bob"},          // any substring, blanks included
      {u"+15550100009", u""},        // the first match has no name
      {u"555", u""},                 // short: the nameless first contact contains it
      {u"Ann", u""},                 // names are not searched
      {u"", u""},                    // an empty address takes no name
      {u"5550100009+1 (555)", u""},  // would span the end of one contact and the next
      {u"+15550100001 1", u"Ann"},
      {u"x+15550100001", u""},
  };
  for (int pass = 0; pass < 2; ++pass) {  // the second pass answers from the cache
    for (const Case& c : kCases) {
      SCOPED_TRACE(Utf16ToUtf8(c.address));
      EXPECT_EQ(lookup.NameFor(c.address), c.name);
    }
  }
}

TEST(ContactLookupTest, MatchesNeverSpanTwoContactsAndFollowListOrder) {
  // Every address is checked against a plain scan of the list for a set of contacts whose
  // phone texts share many four-unit runs.
  ContactList contacts;
  for (int i = 0; i < 60; ++i) {
    std::string phone = "+1555" + std::to_string(1000 + i * 7) + " " + std::to_string(i % 13);
    contacts.push_back(Contact(u"", Utf8ToUtf16(phone).c_str()));
    contacts.back().name = Utf8ToUtf16("n" + std::to_string(i));
  }
  ContactLookup lookup;
  lookup.Assign(contacts);
  for (int i = 0; i < 60; ++i) {
    for (const std::string& address :
         {"+1555" + std::to_string(1000 + i * 7), std::to_string(1000 + i * 7),
          std::to_string(i % 13) + "+1555", "555" + std::to_string(1000 + i), std::to_string(i)}) {
      std::u16string a = Utf8ToUtf16(address);
      std::u16string expected;
      for (const ContactRecord& c : contacts) {
        if (Contains(c.phone, a)) {
          expected = c.name;
          break;
        }
      }
      SCOPED_TRACE(address);
      EXPECT_EQ(lookup.NameFor(a), expected);
    }
  }
}

}  // namespace
}  // namespace salvora
