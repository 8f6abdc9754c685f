// One registry shared by several threads: writes, batches and reads interleave without losing
// values (also run under ThreadSanitizer).

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "registry/registry.h"

namespace fs = std::filesystem;
using namespace orb::reg;

TEST(RegistryThreads, ConcurrentWritersBatchesAndReaders) {
    std::string tmpl = (fs::temp_directory_path() / "orbregt-XXXXXX").string();
    fs::path dir = ::mkdtemp(tmpl.data());
    {
        Registry reg({dir / "user", dir / "machine"});
        ASSERT_TRUE(reg.Create(HKEY_CURRENT_USER, "Shared"));
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                Key k = reg.Open(HKEY_CURRENT_USER, "Shared");
                for (int i = 0; i < 25; ++i) {
                    std::string name = "t";
                    name += std::to_string(t);
                    name += '_';
                    name += std::to_string(i);
                    std::string last = "last";
                    last += std::to_string(t);
                    if (t % 2 == 0) {
                        EXPECT_TRUE(k.WriteDWord(name, static_cast<uint32_t>(i)));
                    } else {
                        Registry::Batch batch(reg, HKEY_CURRENT_USER);
                        EXPECT_TRUE(k.WriteDWord(name, static_cast<uint32_t>(i)));
                        EXPECT_TRUE(k.WriteString(last, std::to_string(i)));
                    }
                    k.ValueNames();
                }
            });
        }
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) reg.Open(HKEY_CURRENT_USER, "Shared").SubKeyNames();
        });
        for (auto& th : threads) th.join();
        Registry fresh({dir / "user", dir / "machine"});
        Key k = fresh.Open(HKEY_CURRENT_USER, "Shared");
        EXPECT_EQ(k.ValueNames().size(), 4u * 25u + 2u);
        EXPECT_EQ(k.ReadString("last1"), "24");
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
}
