#include "salt.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <set>
#include <string>

namespace {

const std::string alphabet =
	"./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// Every input range with the first character it lands on; the folded
// values within a range run on consecutively.
TEST(FoldSaltChar, MapsEveryInputAsTabled)
{
	struct Range {
		int from, to;
		char first;
	};
	const Range table[] = {
		{0, 11, '.'},    {12, 18, 'A'},  {19, 44, 'A'},  {45, 45, 'a'},
		{46, 57, '.'},   {58, 64, 'A'},  {65, 90, 'A'},  {91, 96, 'a'},
		{97, 122, 'a'},  {123, 127, 'v'},
	};
	int covered = 0;
	for (const Range &g : table) {
		for (int r = g.from; r <= g.to; r++) {
			EXPECT_EQ(fold_salt_char(r), g.first + (r - g.from)) << "r = " << r;
			covered++;
		}
	}
	EXPECT_EQ(covered, 128);
}

TEST(FoldSaltChar, ReachesTheWholeAlphabetUnevenly)
{
	std::string hits(128, '\0');
	std::set<char> seen;
	for (int r = 0; r < 128; r++) {
		char c = static_cast<char>(fold_salt_char(r));
		ASSERT_NE(alphabet.find(c), std::string::npos) << "r = " << r;
		seen.insert(c);
		hits[static_cast<unsigned char>(c)]++;
	}
	EXPECT_EQ(seen.size(), 64u);
	EXPECT_EQ(hits['A'], 4);
	EXPECT_EQ(hits['G'], 4);
	EXPECT_EQ(hits['a'], 3);
	EXPECT_EQ(hits['g'], 1);
	EXPECT_EQ(hits['u'], 1);
	EXPECT_EQ(hits['.'], 2);
	EXPECT_EQ(hits['z'], 2);
}

TEST(GenerateSalt, TwoAlphabetCharactersFixedWithinASecond)
{
	char a[24];
	char b[24];
	time_t before = 0;
	do {
		before = time(nullptr);
		memset(a, 'x', sizeof a);
		memset(b, 'x', sizeof b);
		generate_salt(a);
		generate_salt(b);
	} while (time(nullptr) != before);

	ASSERT_EQ(strlen(a), 2u);
	EXPECT_NE(alphabet.find(a[0]), std::string::npos);
	EXPECT_NE(alphabet.find(a[1]), std::string::npos);
	EXPECT_STREQ(a, b);
}

} // namespace
