// SPDX-License-Identifier: MIT
#include "salt.h"

#include <gtest/gtest.h>

#include <cstring>
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

TEST(FoldSaltChar, ReachesTheWholeAlphabet)
{
	std::set<char> seen;
	for (int r = 0; r < 128; r++)
		seen.insert(static_cast<char>(fold_salt_char(r)));
	EXPECT_EQ(seen, std::set<char>(alphabet.begin(), alphabet.end()));
}

TEST(GenerateSalt, TwoAlphabetCharacters)
{
	char buf[24];
	memset(buf, 'x', sizeof buf);
	generate_salt(buf);
	ASSERT_EQ(strlen(buf), 2u);
	EXPECT_NE(alphabet.find(buf[0]), std::string::npos);
	EXPECT_NE(alphabet.find(buf[1]), std::string::npos);
}

} // namespace
