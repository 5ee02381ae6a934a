// Text forms of the value kinds: decimals, date-times, dates, the header
// timestamp, base64, booleans and integers.
#include <gtest/gtest.h>

#include "api/xml/values/Base64.h"
#include "api/xml/values/DateTimeText.h"
#include "api/xml/values/Decimal.h"
#include "api/xml/values/ValueText.h"

namespace kelvo::api::xml {
namespace {

TEST(Decimal, KeepsItsScaleAndNormalisesOnlyTheIntegerPart) {
  const std::pair<const char*, const char*> cases[] = {
      {"12.50", "12.50"}, {"-0.500", "-0.500"}, {"+3", "3"}, {"007.10", "7.10"}, {".5", "0.5"},
      {"5.", "5"}, {"-0", "0"}, {"-0.00", "0.00"}, {"0", "0"}, {"123456789012345678901234567890.123", "123456789012345678901234567890.123"}};
  for (const auto& [text, written] : cases) EXPECT_EQ(Decimal::Parse(text).ToString(), written) << text;
  for (const char* bad : {"", "-", ".", "1e5", "1,5", " 1", "1 ", "0x10", "1.2.3", "--1", "NaN"}) {
    EXPECT_THROW(Decimal::Parse(bad), DecimalFormatError) << bad;
  }
  EXPECT_THROW(Decimal::Parse(std::string(65, '9')), DecimalFormatError);
  EXPECT_EQ(Decimal::Parse("12.5"), Decimal::Parse("12.50"));
  EXPECT_FALSE(Decimal::Parse("12.5").IdenticalTo(Decimal::Parse("12.50")));
  EXPECT_EQ(Decimal::FromInt64(INT64_MIN).ToString(), "-9223372036854775808");
}

TEST(DateTimeText, WritesAndReadsTheDesignatorOfItsKind) {
  const DateTime utc = DateTime::FromParts(2024, 3, 4, 5, 6, 7, 8'900'000, DateTimeKind::Utc);
  EXPECT_EQ(FormatDateTime(utc), "2024-03-04T05:06:07.89Z");
  EXPECT_EQ(ParseDateTime("2024-03-04T05:06:07.89Z"), utc);
  EXPECT_EQ(FormatDateTime(DateTime::FromParts(1, 1, 1, 0, 0, 0, 1, DateTimeKind::Unspecified)),
            "0001-01-01T00:00:00.0000001");
  EXPECT_EQ(ParseDateTime("2024-03-04T05:06:07").Kind(), DateTimeKind::Unspecified);
  EXPECT_EQ(ParseDateTime("2024-03-04T05:06:07.123456789Z").FractionTicks(), 1'234'567);
  const DateTime fromOffset = ParseDateTime("2024-03-04T05:06:07+02:30");
  EXPECT_EQ(fromOffset.Kind(), DateTimeKind::Local);
  EXPECT_EQ(fromOffset.ToUniversalTime(), DateTime::FromParts(2024, 3, 4, 2, 36, 7, 0, DateTimeKind::Utc));
  const std::string local = FormatDateTime(fromOffset);
  EXPECT_EQ(ParseDateTime(local), fromOffset) << local;
  for (const char* bad : {"2024-03-04", "2024-3-04T05:06:07", "2024-03-04T05:06", "2024-03-04T24:00:00",
                          "2024-03-04T05:06:07.", "2024-03-04T05:06:07z", "2024-03-04T05:06:07+0200",
                          "2024-02-30T00:00:00", "0000-01-01T00:00:00", "0001-01-01T00:00:00+01:00", ""}) {
    EXPECT_THROW(ParseDateTime(bad), DateTimeFormatError) << bad;
  }
}

TEST(DateTimeText, DatesAndHeaderTimestamps) {
  EXPECT_EQ(FormatDate(DateTime::FromParts(987, 6, 5, 23, 59, 0, 0, DateTimeKind::Utc)), "0987-06-05");
  EXPECT_EQ(ParseDate("2024-02-29"), DateTime::FromParts(2024, 2, 29, 0, 0, 0, 0, DateTimeKind::Unspecified));
  for (const char* bad : {"2023-02-29", "2024-02-29Z", "2024-02-29T00:00:00", "24-02-29"}) {
    EXPECT_THROW(ParseDate(bad), DateTimeFormatError) << bad;
  }
  // Seven microseconds past a whole second: three zeros of milliseconds.
  EXPECT_EQ(FormatHeaderTimestamp(DateTime::FromParts(2024, 1, 2, 3, 4, 5, 70, DateTimeKind::Utc)),
            "2024-01-02T03:04:05.000Z");
  EXPECT_EQ(FormatHeaderTimestamp(DateTime::FromParts(2024, 1, 2, 3, 4, 5, 9'999'999, DateTimeKind::Utc)),
            "2024-01-02T03:04:05.999Z");
  EXPECT_EQ(FormatHeaderTimestamp(ParseHeaderTimestamp("2024-01-02T03:04:05.678+01:00")), "2024-01-02T02:04:05.678Z");
  EXPECT_EQ(ParseHeaderTimestamp("2024-01-02T03:04:05").Kind(), DateTimeKind::Utc);
  const DateTime local = DateTime::FromParts(2024, 8, 1, 10, 0, 0, 0, DateTimeKind::Utc).ToLocalTime();
  EXPECT_EQ(FormatHeaderTimestamp(local), "2024-08-01T10:00:00.000Z");
  // The unset value of a header read without timestamp, in any time zone.
  EXPECT_NO_THROW(FormatHeaderTimestamp(DateTime()));
}

TEST(Base64, EncodesWithoutBreaksAndDecodesIgnoringWhiteSpace) {
  const std::pair<std::vector<std::uint8_t>, const char*> cases[] = {
      {{}, ""}, {{'f'}, "Zg=="}, {{'f', 'o'}, "Zm8="}, {{'f', 'o', 'o'}, "Zm9v"},
      {{0xFB, 0xFF, 0xFE, 0x00}, "+//+AA=="}};
  for (const auto& [bytes, text] : cases) {
    EXPECT_EQ(EncodeBase64(bytes), text);
    EXPECT_EQ(DecodeBase64(text), bytes) << text;
  }
  EXPECT_EQ(DecodeBase64(" Zm9v\r\n Zm8=\t"), (std::vector<std::uint8_t>{'f', 'o', 'o', 'f', 'o'}));
  EXPECT_EQ(DecodeBase64("Zg = =\n"), (std::vector<std::uint8_t>{'f'}));
  for (const char* bad : {"Zg", "Zg=", "Z===", "Zg==Zg==", "Zm9v!", "=Zm9", "Zm9v-_", "Zg==x"}) {
    EXPECT_THROW(DecodeBase64(bad), Base64FormatError) << bad;
  }
  std::vector<std::uint8_t> all(256 * 3 + 1);
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::uint8_t>(i * 7);
  EXPECT_EQ(DecodeBase64(EncodeBase64(all)), all);
}

TEST(ValueText, BooleansAndIntegers) {
  EXPECT_TRUE(ParseBoolean("true"));
  EXPECT_TRUE(ParseBoolean("1"));
  EXPECT_FALSE(ParseBoolean("false"));
  EXPECT_FALSE(ParseBoolean("0"));
  for (const char* bad : {"True", "yes", "", "01"}) EXPECT_THROW(ParseBoolean(bad), ValueTextError) << bad;
  EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseInt32("+0042"), 42);
  for (const char* bad : {"2147483648", "", "+", "+-1", "1.0", "1 ", "0x1"}) {
    EXPECT_THROW(ParseInt32(bad), ValueTextError) << bad;
  }
  EXPECT_EQ(TrimXmlWhiteSpace("\r\n\t 5 \n"), "5");
}

}  // namespace
}  // namespace kelvo::api::xml
